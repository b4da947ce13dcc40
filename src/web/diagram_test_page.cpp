#include "web/diagram_test_page.h"

#include <algorithm>
#include <string>
#include <vector>

#include "diagram/aggregation.h"
#include "diagram/diagram_data.h"
#include "diagram/item_kind.h"
#include "web/chart_page.h"
#include "web/page_support.h"
#include "web/script_escape.h"

namespace tg {
namespace {

// The chart page's data (its substitute included) for the first `rows` x labels only: a page
// of a diagram with a million labels copies their flat lists once and makes texts for the
// rows it shows, not for every label.
ChartView firstRowsOf(const Diagram& diagram, std::size_t rows) {
    if (!diagram.isRunning()) return substituteChartView();
    ChartView chart;
    chart.seriesNames = diagram.itemNames(kAxisKind);
    const DiagramData data = diagram.copyData(false);  // under the lock; the rest without it
    if (data.axes.empty() || valueCount(data.axes.front()) == 0) return substituteChartView();
    chart.totalLabels = data.xLabels.size();
    const std::size_t shown = std::min(rows, chart.totalLabels);
    chart.labels.reserve(shown);
    for (std::size_t x = 0; x < shown; ++x) chart.labels.emplace_back(data.xLabels[x]);
    for (const AxisData& axis : data.axes) {
        std::vector<std::string>& values = chart.series.emplace_back();
        const std::size_t count = std::min(shown, valueCount(axis));
        values.reserve(count);
        for (std::size_t x = 0; x < count; ++x) values.push_back(valueText(axis, x));
    }
    return chart;
}

}  // namespace

bool DiagramTestPage::prepare(const RequestVariables& request) {
    copyEditVariable(*this, request);
    DiagramHandle diagram = acquireRequestedDiagram(*this, m_diagrams, request);
    if (!diagram) return false;
    carryOutDataAction(*diagram, requestValue(request, "action"));
    const std::string diagramName = diagram->name();
    setVariable("DIAGRAMNAME", diagramName);
    setVariable("DIAGRAMNAMEESCAPED", escapeForScript(diagramName));
    m_chart = firstRowsOf(*diagram, kMaxRows);
    m_totalLabels = std::max(m_chart.totalLabels, m_chart.labels.size());
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
    for (const std::string& label : m_chart.labels) {
        setVariable("GROUPNAME", label);
        if (!render(block, out)) return false;
    }
    if (m_chart.labels.size() == m_totalLabels) return true;
    setVariable("GROUPNAME", "... " + std::to_string(m_totalLabels - m_chart.labels.size()) +
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
