#include "web/data_routes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "metrics/diagram_export.h"
#include "metrics/utf8_text.h"
#include "web/query_args.h"

namespace tg {
namespace {

constexpr std::string_view kMetricsPath = "/metrics";
constexpr std::string_view kJsonPath = "/diagram.json";
constexpr std::string_view kCsvPath = "/diagram.csv";

// The Content-Disposition of a download named after the diagram: an ASCII name for every
// client, and the whole name in UTF-8 (RFC 6266) for those that read it.
std::string downloadDisposition(std::string_view name) {
    constexpr char kHex[] = "0123456789ABCDEF";
    std::string ascii;
    std::string encoded;
    for (const char c : toUtf8(name)) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
        ascii += plain ? c : '_';
        if (plain) {
            encoded += c;
        } else {
            encoded += '%';
            encoded += kHex[static_cast<unsigned char>(c) >> 4];
            encoded += kHex[static_cast<unsigned char>(c) & 0x0F];
        }
    }
    if (ascii.empty() || ascii.front() == '.') ascii.insert(0, "diagram");
    return "attachment; filename=\"" + ascii + ".csv\"; filename*=UTF-8''" + encoded + ".csv";
}

// A diagram's JSON or CSV written as the client takes it, from one copy of its data.
class TableSource : public BodySource {
public:
    TableSource(DiagramTable table, DiagramWriter::Format format)
        : m_table(std::move(table)), m_writer(m_table, format), m_held(heldBy(m_table)) {}
    TableSource(const TableSource&) = delete;  // the writer refers to this one's table
    TableSource& operator=(const TableSource&) = delete;
    bool next(std::string& out) override { return m_writer.next(out, kPieceBytes); }
    std::size_t heldBytes() const override { return m_held; }

private:
    // About what one pass of the reactor formats: a millisecond or less.
    static constexpr std::size_t kPieceBytes = 64 * 1024;

    static std::size_t heldBy(const DiagramTable& table) {
        std::size_t bytes = table.labels.textBytes() + table.labels.size() * sizeof(std::uint64_t);
        for (const AxisData& axis : table.axes) {
            bytes += axis.data.size() * sizeof(double) + axis.count.size() * sizeof(std::uint32_t) +
                     axis.strdata.textBytes() + axis.strdata.size() * sizeof(std::uint64_t);
        }
        return bytes;
    }

    const DiagramTable m_table;
    DiagramWriter m_writer;  // writes m_table
    std::size_t m_held;
};

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
            answer.body = "Can't find diagram '" + toUtf8(name) + "'\n";
            return answer;
        }
        table = diagramTableOf(*diagram);
    }
    if (path == kJsonPath) {
        answer.contentType = "application/json; charset=utf-8";
    } else {
        answer.contentType = "text/csv; charset=utf-8; header=present";
        answer.disposition = downloadDisposition(table.name);
    }
    answer.stream = std::make_unique<TableSource>(
        std::move(table),
        path == kJsonPath ? DiagramWriter::Format::Json : DiagramWriter::Format::Csv);
    return answer;
}

}  // namespace tg
