#include "web/text_result_page.h"

#include <algorithm>

#include "web/page_support.h"

namespace tg {

bool TextResultPage::prepare(const RequestVariables& request) {
    copyEditVariable(*this, request);
    DiagramHandle diagram = acquireRequestedDiagram(*this, m_diagrams, request);
    if (!diagram) return false;
    m_diagramName = diagram->name();
    if (!diagram->isRunning()) return true;
    RecentTable table = diagram->recentTable();
    m_header = std::move(table.header);
    m_rows = std::move(table.rows);
    m_fields = diagram->fieldNames();
    m_filters = diagram->itemNames(kFilterKind);
    m_axes = diagram->itemNames(kAxisKind);
    if (m_rows.empty()) {
        m_rows.emplace_back(m_fields.size() + m_axes.size() + m_filters.size() + 1, "No data");
    }
    return true;
}

bool TextResultPage::expandRecord(std::string_view block, RecordKind kind, std::string& out) {
    // Fields are columns 0 to F-1, filters F to F+L-1, the group column F+L, axes after it.
    const std::size_t groupColumn = m_fields.size() + m_filters.size();
    switch (kind) {
        case RecordKind::FieldRecord:
            return renderForEach(*this, block, "FIELDNAME", m_fields, out);
        case RecordKind::FieldValueRecord:
            return renderNamedColumn(block, "FIELDNAME", "FIELDVALUE", 0, m_fields.size(), out);
        case RecordKind::FilterRecord:
            return renderForEach(*this, block, "FILTERNAME", m_filters, out);
        case RecordKind::FilterResultRecord:
            return renderNamedColumn(block, "FILTERNAME", "FILTERRESULT", m_fields.size(),
                                     groupColumn, out);
        case RecordKind::GroupResultRecord:
            return renderColumn(block, "GROUPRESULT", groupColumn, out);
        case RecordKind::AxisRecord:
            return renderForEach(*this, block, "AXISNAME", m_axes, out);
        case RecordKind::AxisResultRecord:
            return renderNamedColumn(block, "AXISNAME", "AXISRESULT", groupColumn + 1,
                                     m_header.size(), out);
        default:
            return true;
    }
}

bool TextResultPage::renderNamedColumn(std::string_view block, const std::string& nameVariable,
                                       const std::string& variable, std::size_t first,
                                       std::size_t end, std::string& out) {
    const auto name = variables().find(nameVariable);
    if (name == variables().end()) return true;
    end = std::min(end, m_header.size());
    for (std::size_t column = first; column < end; ++column) {
        if (m_header[column] == name->second) return renderColumn(block, variable, column, out);
    }
    return true;
}

bool TextResultPage::renderColumn(std::string_view block, const std::string& variable,
                                  std::size_t column, std::string& out) {
    for (const std::vector<std::string>& row : m_rows) {
        if (column >= row.size()) {
            setError("The recent records of diagram '" + m_diagramName +
                         "' have fewer values than the table has columns; rebuild or reset it",
                     ErrorTarget::DiagramList);
            return false;
        }
        setVariable(variable, row[column]);
        if (!render(block, out)) return false;
    }
    return true;
}

RecordKind TextResultPage::recordKindOf(std::string_view openToken) {
    return findRecordKind(
        openToken, {RecordKind::FieldRecord, RecordKind::FieldValueRecord, RecordKind::FilterRecord,
                    RecordKind::FilterResultRecord, RecordKind::GroupResultRecord,
                    RecordKind::AxisRecord, RecordKind::AxisResultRecord});
}

}  // namespace tg
