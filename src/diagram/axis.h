#pragma once
// A y-axis: extracts a value from each counted record and folds it into one slot per x label.
// The three lists run parallel to the diagram's x labels; lists read back from the store may
// be shorter or longer.

#include <cstdint>
#include <string>
#include <vector>

#include "diagram/axis_oper.h"
#include "diagram/diagram_item.h"

namespace tg {

class Axis : public DiagramItem {
public:
    using DiagramItem::DiagramItem;
    void clearSlots() {
        data.clear();
        strdata.clear();
        count.clear();
    }
    // The operation's code; setting Undefined (0) leaves the operation as it is.
    std::uint32_t setting() const { return static_cast<std::uint32_t>(oper); }
    void setSetting(std::uint32_t code) {
        if (operFromCode(code) != AxisOper::Undefined) oper = operFromCode(code);
    }

    AxisOper oper = AxisOper::Undefined;
    std::string current;  // value taken from the record being processed
    std::vector<double> data;
    std::vector<std::string> strdata;
    std::vector<std::uint32_t> count;
};

}  // namespace tg
