#include "web/page_support.h"

#include <algorithm>
#include <cstdlib>

namespace tg {

std::string requestValue(const RequestVariables& request, const std::string& name) {
    const auto it = request.find(name);
    return it == request.end() ? std::string() : it->second;
}

bool hasValue(const RequestVariables& request, const std::string& name) {
    const auto it = request.find(name);
    return it != request.end() && !it->second.empty();
}

int decimalValue(std::string_view text) {
    const std::string terminated(text);  // strtol needs the zero byte
    return static_cast<int>(std::strtol(terminated.c_str(), nullptr, 10));
}

void copyEditVariable(Page& page, const RequestVariables& request) {
    page.setVariable("EDIT", requestValue(request, "EDIT"));
}

std::string diagramNotFound(std::string_view name) {
    std::string message = "Can't find diagram '";
    message += name;
    message += '\'';
    return message;
}

DiagramHandle acquireRequestedDiagram(Page& page, DiagramManager& diagrams,
                                      const RequestVariables& request) {
    const std::string name = requestValue(request, "name");
    DiagramHandle diagram = diagrams.acquire(name);
    if (!diagram) page.setError(diagramNotFound(name), ErrorTarget::DiagramList);
    return diagram;
}

bool renderForEach(Page& page, std::string_view block, const std::string& variable,
                   const std::vector<std::string>& values, std::string& out) {
    for (const std::string& value : values) {
        page.setVariable(variable, value);
        if (!page.render(block, out)) return false;
    }
    return true;
}

bool renderRows(Page& page, std::string_view block, const std::vector<std::string>& variables,
                const std::vector<std::vector<std::string>>& rows, std::string& out) {
    for (const std::vector<std::string>& row : rows) {
        const std::size_t count = std::min(variables.size(), row.size());
        for (std::size_t i = 0; i < count; ++i) page.setVariable(variables[i], row[i]);
        if (!page.render(block, out)) return false;
    }
    return true;
}

}  // namespace tg
