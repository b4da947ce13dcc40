#pragma once
// The page of the "show" template: one diagram as a chart. It carries out the diagram's data
// actions ("reset" clears the data, "rebuild" replays the source's duplicate log, "run" starts
// the diagram) and writes the chart data script (chart_script.h) in place of every DATA
// block, read when the block is rendered.
//
//   EDIT, DIAGRAMNAME, DIAGRAMNAMEESCAPED
//   3D_VIEW, SHOW_LEGEND   "checked" when the request lacks 3d_view / show_legend or has "1"
//   SWAP_XY                "checked" only when swap_xy is "1"
//   DATA block             replaced whole by the script; its own text is ignored
//
// One request, the HTTP server's thread; the DiagramManager must outlive the page.

#include <string>
#include <string_view>

#include "diagram/diagram_manager.h"
#include "web/page.h"

namespace tg {

class ChartPage : public Page {
public:
    explicit ChartPage(DiagramManager& diagrams) : m_diagrams(diagrams) {}

    // Fails with "Can't find diagram '<name>'" when no diagram has the requested name.
    [[nodiscard]] bool prepare(const RequestVariables& request) override;
    [[nodiscard]] bool expandRecord(std::string_view block, RecordKind kind,
                                    std::string& out) override;
    RecordKind recordKindOf(std::string_view openToken) override;

private:
    DiagramManager& m_diagrams;
    std::string m_diagramName;
};

// The data actions of the chart and diagram test pages, compared exactly: "reset" clears the
// diagram's data, "rebuild" rebuilds it from the source's duplicate log, "run" starts the
// diagram; any other action does nothing.
void carryOutDataAction(Diagram& diagram, std::string_view action);

}  // namespace tg
