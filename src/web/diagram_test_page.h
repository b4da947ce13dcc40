#pragma once
// The page of the "modaltest" template: a diagram's chart data as a table of x labels against
// y-axes, with the chart page's data actions ("reset", "rebuild", "run"). The data is the
// chart page's, substitute included: a stopped diagram, or one without values, shows the
// labels and axis names "No data" and the values 1.
//
//   AXISRECORD    AXISNAME, per y-axis
//   GROUPRECORD   GROUPNAME, per x label, for the first kMaxRows labels; when there are more,
//                 one last row whose GROUPNAME says how many more are not shown
//   DATA          VALUE, per y-axis, its value at the current GROUPNAME's position (the first
//                 equal x label); nothing when GROUPNAME is no x label, nothing in the row of
//                 labels not shown, and nothing for a series too short to have a value there
//   EDIT, DIAGRAMNAME, DIAGRAMNAMEESCAPED
//
// A DATA block belongs inside the GROUPRECORD block: one table row per x label. Only the rows
// shown are made into texts, and a label's position is looked up in a table made once, so a
// page costs time in proportion to its rows (beside one flat copy of the diagram's data); the
// rows are bounded, so that one page of a diagram with very many labels cannot hold the
// server for long.
//
// One request, the HTTP server's thread; the DiagramManager must outlive the page.

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

#include "diagram/diagram_manager.h"
#include "web/chart_script.h"
#include "web/page.h"

namespace tg {

class DiagramTestPage : public Page {
public:
    static constexpr std::size_t kMaxRows = 10000;

    explicit DiagramTestPage(DiagramManager& diagrams) : m_diagrams(diagrams) {}

    // Fails with "Can't find diagram '<name>'" when no diagram has the requested name.
    [[nodiscard]] bool prepare(const RequestVariables& request) override;
    [[nodiscard]] bool expandRecord(std::string_view block, RecordKind kind,
                                    std::string& out) override;
    RecordKind recordKindOf(std::string_view openToken) override;

private:
    [[nodiscard]] bool renderGroups(std::string_view block, std::string& out);
    [[nodiscard]] bool renderValues(std::string_view block, std::string& out);

    DiagramManager& m_diagrams;
    ChartView m_chart;  // the rows shown
    std::size_t m_totalLabels = 0;
    // Each distinct label's first position among m_chart.labels, whose texts it points into.
    std::unordered_map<std::string_view, std::size_t> m_positions;
    bool m_inNotShownRow = false;  // the GROUPRECORD row that counts the labels not shown
};

}  // namespace tg
