#pragma once
// The page of the "showtext" template: a diagram's recent records (at most 25, oldest first)
// as a table of field values and of filter, group and axis results. Everything is copied
// during prepare, so rendering takes no lock. A stopped diagram shows nothing; a running one
// without recent records shows one row of "No data".
//
//   FIELDRECORD          FIELDNAME, per field of the data source
//   FIELDVALUERECORD     FIELDVALUE, per record, in the column of the current FIELDNAME
//   FILTERRECORD         FILTERNAME, per filter
//   FILTERRESULTRECORD   FILTERRESULT ("Y"/"N"), per record, in the current FILTERNAME's column
//   GROUPRESULTRECORD    GROUPRESULT, per record, the x label it gives
//   AXISRECORD           AXISNAME, per y-axis
//   AXISRESULTRECORD     AXISRESULT, per record, in the column of the current AXISNAME
//   EDIT
//
// A value block looks its name up among the columns of its own kind only, and renders nothing
// when it is not there, so it belongs inside the name block of its kind. No DIAGRAMNAME.
//
// One request, the HTTP server's thread; the DiagramManager must outlive the page.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "diagram/diagram_manager.h"
#include "web/page.h"

namespace tg {

class TextResultPage : public Page {
public:
    explicit TextResultPage(DiagramManager& diagrams) : m_diagrams(diagrams) {}

    // Fails with "Can't find diagram '<name>'" when no diagram has the requested name.
    [[nodiscard]] bool prepare(const RequestVariables& request) override;
    // Fails, with the error target DiagramList, when a record has no text in a column that a
    // value block reads (a record kept from before its source's fields changed).
    [[nodiscard]] bool expandRecord(std::string_view block, RecordKind kind,
                                    std::string& out) override;
    RecordKind recordKindOf(std::string_view openToken) override;

private:
    // Renders `block` per row with `variable` set to the row's text in `column`.
    [[nodiscard]] bool renderColumn(std::string_view block, const std::string& variable, std::size_t column,
                      std::string& out);
    // Renders `block` per row in the first column from `first` to before `end` whose title is
    // the current value of `nameVariable`; nothing when none is.
    [[nodiscard]] bool renderNamedColumn(std::string_view block, const std::string& nameVariable,
                           const std::string& variable, std::size_t first, std::size_t end,
                           std::string& out);

    DiagramManager& m_diagrams;
    std::string m_diagramName;
    std::vector<std::string> m_header;
    std::vector<std::vector<std::string>> m_rows;
    std::vector<std::string> m_fields;
    std::vector<std::string> m_filters;
    std::vector<std::string> m_axes;
};

}  // namespace tg
