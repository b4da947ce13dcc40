#pragma once
// A diagram's data for people and scripts: the x labels and, per y-axis, the value texts the
// chart and the data table show, written as JSON or as CSV (RFC 4180). Both are UTF-8
// (utf8_text.h). The daemon's data addresses and
// `tgctl diagram show --format` write the same. Pure formatting; any thread.
//
// JSON: {"diagram":NAME,"labels":[LABEL,...],
//        "series":[{"axis":NAME,"operation":"SUM","values":[VALUE,...]},...]}
//   a value is a JSON number when its text is one, else a string (FIRST and LAST values);
//   null where an axis has fewer slots than there are labels.
// CSV: a header row "label" and the axis names, then one row per x label; a cell of an axis
//   with fewer slots than labels is empty. Rows end with CRLF.

#include <string>
#include <vector>

#include "diagram/axis_oper.h"
#include "diagram/diagram_data.h"
#include "diagram/text_list.h"

namespace tg {

class Diagram;

struct DiagramTable {
    std::string name;
    TextList labels;
    std::vector<std::string> axisNames;
    std::vector<AxisOper> opers;  // parallel to axisNames
    // Parallel to axisNames: the copied slots, whose value texts (valueText) are made as they
    // are written.
    std::vector<AxisData> axes;
};

// Taken from a copy of the diagram's data (its lock held for the copy only; flat lists, so
// a million labels cost no allocation each, and no value is made into text yet).
DiagramTable diagramTableOf(const Diagram& diagram);

std::string diagramJson(const DiagramTable& table);
std::string diagramCsv(const DiagramTable& table);

// Writes the same JSON or CSV a piece at a time, for an answer made as its client takes it.
// The table must outlive the writer unchanged.
class DiagramWriter {
public:
    enum class Format { Json, Csv };
    DiagramWriter(const DiagramTable& table, Format format) : m_table(table), m_format(format) {}
    // Appends whole values until `out` has grown by `bytes` or more, or the text is complete.
    // False, with nothing appended, once the whole text has been written.
    bool next(std::string& out, std::size_t bytes);

private:
    enum class Stage { Head, Labels, AxisHead, Values, Rows, Done };
    void writeJson(std::string& out, std::size_t limit);
    void writeCsv(std::string& out, std::size_t limit);

    const DiagramTable& m_table;
    Format m_format;
    Stage m_stage = Stage::Head;
    std::size_t m_axis = 0;  // the series being written
    std::size_t m_x = 0;     // the next label, value or row
};

}  // namespace tg
