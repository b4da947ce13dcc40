#pragma once
// The page of the "index" template: every diagram with its running state, and the list's
// actions on one diagram named by "name": "delete", "run" and "stop" (any other action only
// checks that the diagram exists). The list is read after the action, so it shows its effect.
//
//   DIAGRAMRECORD block, one row per diagram, sorted by name (bytes), then state:
//     DIAGRAMNAME, DIAGRAMNAMEESCAPED (escapeForScript), DIAGRAMRUNNING ("true"/"false")
//   EDIT   the request's EDIT
//
// One request, the HTTP server's thread; the diagrams belong to the DiagramManager, which must
// outlive the page.

#include <string>
#include <string_view>
#include <vector>

#include "diagram/diagram_manager.h"
#include "web/page.h"

namespace tg {

class DiagramListPage : public Page {
public:
    explicit DiagramListPage(DiagramManager& diagrams) : m_diagrams(diagrams) {}

    // Fails, before any change, with "The name of the diagram has not been specified" when an
    // action comes without a name, and with "Can't find diagram '<name>'" when an action other
    // than "delete" names no diagram. "delete" of a missing or borrowed diagram changes nothing.
    [[nodiscard]] bool prepare(const RequestVariables& request) override;
    [[nodiscard]] bool expandRecord(std::string_view block, RecordKind kind,
                                    std::string& out) override;
    RecordKind recordKindOf(std::string_view openToken) override;

private:
    struct Row {
        std::string name;
        std::string running;  // "true" or "false"
    };

    [[nodiscard]] bool carryOut(const std::string& action, const std::string& name);

    DiagramManager& m_diagrams;
    std::vector<Row> m_rows;
};

}  // namespace tg
