#pragma once
// The page of the "modaltest" template: a diagram's chart data as a table of x labels against
// y-axes, with the chart page's data actions ("reset", "rebuild", "run"). The data is the
// chart page's, substitute included: a stopped diagram, or one without values, shows the
// labels and axis names "No data" and the values 1.
//
//   AXISRECORD    AXISNAME, per y-axis
//   GROUPRECORD   GROUPNAME, per x label
//   DATA          VALUE, per y-axis, its value at the current GROUPNAME's position (the first
//                 equal x label); nothing when GROUPNAME is no x label, and nothing for a
//                 series too short to have a value there
//   EDIT, DIAGRAMNAME, DIAGRAMNAMEESCAPED
//
// A DATA block belongs inside the GROUPRECORD block: one table row per x label.
//
// One request, the HTTP server's thread; the DiagramManager must outlive the page.

#include <string>
#include <string_view>

#include "diagram/diagram_manager.h"
#include "web/chart_script.h"
#include "web/page.h"

namespace tg {

class DiagramTestPage : public Page {
public:
    explicit DiagramTestPage(DiagramManager& diagrams) : m_diagrams(diagrams) {}

    // Fails with "Can't find diagram '<name>'" when no diagram has the requested name.
    [[nodiscard]] bool prepare(const RequestVariables& request) override;
    [[nodiscard]] bool expandRecord(std::string_view block, RecordKind kind,
                                    std::string& out) override;
    RecordKind recordKindOf(std::string_view openToken) override;

private:
    bool renderValues(std::string_view block, std::string& out);

    DiagramManager& m_diagrams;
    ChartView m_chart;
};

}  // namespace tg
