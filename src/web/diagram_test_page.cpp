#include "web/diagram_test_page.h"

#include <algorithm>
#include <string>

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
    m_positions.clear();
    m_positions.reserve(m_chart.labels.size());
    for (std::size_t i = 0; i < m_chart.labels.size(); ++i) {
        m_positions.try_emplace(m_chart.labels[i], i);  // the first of equal labels wins
    }
    return true;
}

bool DiagramTestPage::expandRecord(std::string_view block, RecordKind kind, std::string& out) {
    switch (kind) {
        case RecordKind::AxisRecord:
            return renderForEach(*this, block, "AXISNAME", m_chart.seriesNames, out);
        case RecordKind::GroupRecord:
            return renderGroups(block, out);
        case RecordKind::Data:
            return renderValues(block, out);
        default:
            return true;
    }
}

bool DiagramTestPage::renderGroups(std::string_view block, std::string& out) {
    const std::size_t shown = std::min(m_chart.labels.size(), kMaxRows);
    for (std::size_t i = 0; i < shown; ++i) {
        setVariable("GROUPNAME", m_chart.labels[i]);
        if (!render(block, out)) return false;
    }
    if (shown == m_chart.labels.size()) return true;
    setVariable("GROUPNAME", "... " + std::to_string(m_chart.labels.size() - shown) +
                                 " more x labels not shown");
    m_inNotShownRow = true;
    const bool rendered = render(block, out);
    m_inNotShownRow = false;
    return rendered;
}

bool DiagramTestPage::renderValues(std::string_view block, std::string& out) {
    if (m_inNotShownRow) return true;
    const auto group = variables().find("GROUPNAME");
    if (group == variables().end()) return true;
    const auto label = m_positions.find(group->second);
    if (label == m_positions.end()) return true;
    const std::size_t position = label->second;
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
