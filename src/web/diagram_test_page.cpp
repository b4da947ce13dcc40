#include "web/diagram_test_page.h"

#include <algorithm>

#include "web/chart_page.h"
#include "web/page_support.h"
#include "web/script_escape.h"

namespace tg {

bool DiagramTestPage::prepare(const RequestVariables& request) {
    copyEditVariable(*this, request);
    DiagramHandle diagram = acquireRequestedDiagram(*this, m_diagrams, request);
    if (!diagram) return false;
    carryOutDataAction(*diagram, requestValue(request, "action"));
    const std::string diagramName = diagram->name();
    setVariable("DIAGRAMNAME", diagramName);
    setVariable("DIAGRAMNAMEESCAPED", escapeForScript(diagramName));
    m_chart = chartViewOf(m_diagrams, diagramName);
    return true;
}

bool DiagramTestPage::expandRecord(std::string_view block, RecordKind kind, std::string& out) {
    switch (kind) {
        case RecordKind::AxisRecord:
            return renderForEach(*this, block, "AXISNAME", m_chart.seriesNames, out);
        case RecordKind::GroupRecord:
            return renderForEach(*this, block, "GROUPNAME", m_chart.labels, out);
        case RecordKind::Data:
            return renderValues(block, out);
        default:
            return true;
    }
}

bool DiagramTestPage::renderValues(std::string_view block, std::string& out) {
    const auto group = variables().find("GROUPNAME");
    if (group == variables().end()) return true;
    const auto label = std::find(m_chart.labels.begin(), m_chart.labels.end(), group->second);
    if (label == m_chart.labels.end()) return true;
    const auto position = static_cast<std::size_t>(label - m_chart.labels.begin());
    for (const std::vector<std::string>& values : m_chart.series) {
        if (position >= values.size()) continue;  // a series shorter than the labels
        setVariable("VALUE", values[position]);
        if (!render(block, out)) return false;
    }
    return true;
}

RecordKind DiagramTestPage::recordKindOf(std::string_view openToken) {
    return findRecordKind(openToken,
                          {RecordKind::AxisRecord, RecordKind::GroupRecord, RecordKind::Data});
}

}  // namespace tg
