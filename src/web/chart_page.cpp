#include "web/chart_page.h"

#include "web/chart_script.h"
#include "web/page_support.h"
#include "web/script_escape.h"

namespace tg {

namespace {

// "checked" when the request does not have the option, or has it as "1".
std::string checkedByDefault(const RequestVariables& request, const std::string& option) {
    const auto it = request.find(option);
    return it == request.end() || it->second == "1" ? "checked" : "";
}

}  // namespace

void carryOutDataAction(Diagram& diagram, std::string_view action) {
    if (action == "reset") {
        (void)diagram.clearData();
    } else if (action == "rebuild") {
        (void)diagram.rebuild(0);
    } else if (action == "run") {
        (void)diagram.start();
    }
}

bool ChartPage::prepare(const RequestVariables& request) {
    copyEditVariable(*this, request);
    DiagramHandle diagram = acquireRequestedDiagram(*this, m_diagrams, request);
    if (!diagram) return false;
    setVariable("3D_VIEW", checkedByDefault(request, "3d_view"));
    setVariable("SHOW_LEGEND", checkedByDefault(request, "show_legend"));
    setVariable("SWAP_XY", requestValue(request, "swap_xy") == "1" ? "checked" : "");
    carryOutDataAction(*diagram, requestValue(request, "action"));
    m_diagramName = diagram->name();
    setVariable("DIAGRAMNAME", m_diagramName);
    setVariable("DIAGRAMNAMEESCAPED", escapeForScript(m_diagramName));
    return true;
}

bool ChartPage::expandRecord(std::string_view /*block*/, RecordKind kind, std::string& out) {
    // Looked up again: a diagram removed since prepare shows the substitute data.
    if (kind == RecordKind::Data) {
        appendChartScript(out, chartViewOf(m_diagrams, m_diagramName, kChartMaxLabels));
    }
    return true;
}

RecordKind ChartPage::recordKindOf(std::string_view openToken) {
    return findRecordKind(openToken, {RecordKind::Data});
}

}  // namespace tg
