#include "web/data_routes.h"

#include <string>

#include "metrics/diagram_export.h"
#include "metrics/utf8_text.h"
#include "web/query_args.h"

namespace tg {
namespace {

constexpr std::string_view kMetricsPath = "/metrics";
constexpr std::string_view kJsonPath = "/diagram.json";
constexpr std::string_view kCsvPath = "/diagram.csv";

// A file name for the download that every browser and shell takes as it is.
std::string downloadName(std::string_view name) {
    std::string file;
    for (const char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
        file += plain ? c : '_';
    }
    if (file.empty() || file.front() == '.') file.insert(0, "diagram");
    return file + ".csv";
}

}  // namespace

bool WebDataRoutes::serves(std::string_view path) const {
    return path == kMetricsPath || path == kJsonPath || path == kCsvPath;
}

DataAnswer WebDataRoutes::answer(const CRequest& request, std::string_view path) {
    DataAnswer answer;
    if (path == kMetricsPath) {
        const ExpositionFormat format = formatForAccept(request.header("accept"));
        answer.contentType = contentTypeOf(format);
        answer.body = m_metrics.render(format);
        return answer;
    }
    RequestVariables parameters;
    ParseQueryArgs(request.parameterText, parameters);
    const std::string& name = parameters["name"];
    DiagramTable table;
    {
        const DiagramHandle diagram = m_diagrams.acquire(name);
        if (!diagram) {
            answer.status = kStatusNotFound;
            answer.contentType = "text/plain; charset=utf-8";
            answer.body = "Can't find diagram '" + windows1252ToUtf8(name) + "'\n";
            return answer;
        }
        table = diagramTableOf(*diagram);
    }
    if (path == kJsonPath) {
        answer.contentType = "application/json; charset=utf-8";
        answer.body = diagramJson(table);
    } else {
        answer.contentType = "text/csv; charset=utf-8; header=present";
        answer.disposition = "attachment; filename=\"" + downloadName(table.name) + "\"";
        answer.body = diagramCsv(table);
    }
    return answer;
}

}  // namespace tg
