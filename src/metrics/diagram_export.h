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
#include "diagram/text_list.h"

namespace tg {

class Diagram;

struct DiagramTable {
    std::string name;
    TextList labels;
    std::vector<std::string> axisNames;
    std::vector<AxisOper> opers;   // parallel to axisNames
    std::vector<TextList> series;  // parallel to axisNames
};

// Taken from a copy of the diagram's data (its lock held for the copy only; flat lists, so
// a million labels cost no allocation each).
DiagramTable diagramTableOf(const Diagram& diagram);

std::string diagramJson(const DiagramTable& table);
std::string diagramCsv(const DiagramTable& table);

}  // namespace tg
