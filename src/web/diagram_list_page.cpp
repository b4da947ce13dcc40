#include "web/diagram_list_page.h"

#include <algorithm>
#include <tuple>

#include "web/page_support.h"
#include "web/script_escape.h"

namespace tg {

bool DiagramListPage::prepare(const RequestVariables& request) {
    copyEditVariable(*this, request);
    const std::string action = requestValue(request, "action");
    if (!action.empty() && !carryOut(action, requestValue(request, "name"))) return false;
    for (const std::string& name : m_diagrams.names()) {
        // A diagram removed since names() is listed as stopped.
        const DiagramHandle diagram = m_diagrams.acquire(name);
        m_rows.push_back({name, diagram && diagram->isRunning() ? "true" : "false"});
    }
    std::sort(m_rows.begin(), m_rows.end(), [](const Row& a, const Row& b) {
        return std::tie(a.name, a.running) < std::tie(b.name, b.running);
    });
    return true;
}

bool DiagramListPage::carryOut(const std::string& action, const std::string& name) {
    if (name.empty()) {
        setError("The name of the diagram has not been specified", ErrorTarget::DiagramList);
        return false;
    }
    if (action == "delete") {
        (void)m_diagrams.remove(name);
        return true;
    }
    DiagramHandle diagram = m_diagrams.acquire(name);
    if (!diagram) {
        setError(diagramNotFound(name), ErrorTarget::DiagramList);
        return false;
    }
    if (action == "run") {
        (void)diagram->start();
    } else if (action == "stop") {
        (void)diagram->stop();
    }
    return true;
}

bool DiagramListPage::expandRecord(std::string_view block, RecordKind kind, std::string& out) {
    if (kind != RecordKind::DiagramRecord) return true;
    for (const Row& row : m_rows) {
        setVariable("DIAGRAMNAME", row.name);
        setVariable("DIAGRAMNAMEESCAPED", escapeForScript(row.name));
        setVariable("DIAGRAMRUNNING", row.running);
        if (!render(block, out)) return false;
    }
    return true;
}

RecordKind DiagramListPage::recordKindOf(std::string_view openToken) {
    return findRecordKind(openToken, {RecordKind::DiagramRecord});
}

}  // namespace tg
