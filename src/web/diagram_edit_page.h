#pragma once
// The page of the "edit" template: one diagram's definition, and the actions of the editing
// forms. "new" creates a diagram with the first free default name ("Diagram", "Diagram 2",
// ...); "rename_diagram" (new_name) and "change_datasource" (datasource_name) change the
// diagram; for every item kind (see diagram/item_kind.h; <item> is its word: group, filter,
// axis):
//
//   create_<item>                      the first free default name ("Group", "Group 2", ...),
//                                      the data source's first field ("undefined" when it has
//                                      none) and the expression ".*"
//   delete_<item>                      <item>_name
//   rename_<item>                      old_<item>_name to new_<item>_name
//   change_<item>_field                <item>_name, field_name
//   change_<item>_regexp               <item>_name, <item>_regexp
//   change_<setting parameter>         <item>_name and the kind's setting parameter:
//                                      filter_invert (atoi; may be empty), axis_oper ("SUM" ...
//                                      "LAST"; an unknown name changes nothing)
//
// An action whose parameters are missing or empty does nothing, as does an unknown action;
// the page is shown either way. A change of an unknown item creates it with only that
// property set. New names (renames, and items created by a change) must be fit to be keys of
// the store: not empty, no backslash, and no other diagram or item of the kind with the same
// name in any letter case, since the store would keep both under one key; a name that is not
// fit changes nothing.
//
// Variables after the action: EDIT, DIAGRAMNAME, DIAGRAMNAMEESCAPED, DATASOURCENAME; one
// block per item kind with a row per item (name, field, expression, and the kind's setting):
//   GROUPRECORD    GROUPNAME, GROUPFIELDNAME, GROUPREGEXP
//   FILTERRECORD   FILTERNAME, FILTERFIELDNAME, FILTERREGEXP, FILTERINV ("checked" or empty)
//   AXISRECORD     AXISNAME, AXISFIELDNAME, AXISREGEXP, AXISOPER ("SUM" ... or "UNDEFINED")
//
// One request, the HTTP server's thread; the DiagramManager must outlive the page.

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "diagram/diagram_manager.h"
#include "diagram/item_kind.h"
#include "web/page.h"

namespace tg {

class DiagramEditPage : public Page {
public:
    explicit DiagramEditPage(DiagramManager& diagrams) : m_diagrams(diagrams) {}

    // Fails with "Can't find diagram '<name>'" when no diagram has the requested name and the
    // action is not "new".
    [[nodiscard]] bool prepare(const RequestVariables& request) override;
    [[nodiscard]] bool expandRecord(std::string_view block, RecordKind kind,
                                    std::string& out) override;
    RecordKind recordKindOf(std::string_view openToken) override;

private:
    using Rows = std::vector<std::vector<std::string>>;

    DiagramHandle createDiagram();
    void carryOut(const std::string& action, const RequestVariables& request, Diagram& diagram);
    void fillLists(const Diagram& diagram);

    DiagramManager& m_diagrams;
    std::array<Rows, kItemKinds.size()> m_rows;  // in the order of kItemKinds
};

}  // namespace tg
