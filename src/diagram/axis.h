#pragma once
// A y-axis: extracts a value from each counted record and folds it into one slot per x label.
// The slot lists run parallel to the diagram's x labels; lists read back from the store may
// be shorter or longer. Only FIRST and LAST show a value text per slot, so only they keep one
// for every slot; the other operations keep just the texts read from the store (written back
// as they were, so that a store keeps what it held), which costs no allocation per slot.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "diagram/axis_oper.h"
#include "diagram/diagram_item.h"
#include "diagram/text_list.h"

namespace tg {

class Axis : public DiagramItem {
public:
    using DiagramItem::DiagramItem;
    // Empties the slots and gives their room back.
    void clearSlots() {
        std::vector<double>().swap(data);
        std::vector<std::string>().swap(strdata);
        std::vector<std::uint32_t>().swap(count);
        storedTexts.clear();
    }
    bool showsTexts() const { return oper == AxisOper::First || oper == AxisOper::Last; }
    // The operation's code; setting Undefined (0) leaves the operation as it is.
    std::uint32_t setting() const { return static_cast<std::uint32_t>(oper); }
    void setSetting(std::uint32_t code) {
        if (operFromCode(code) != AxisOper::Undefined) oper = operFromCode(code);
    }

    AxisOper oper = AxisOper::Undefined;
    // The value taken from the record being processed: a view into that record, valid while
    // it is folded.
    std::string_view current;
    std::vector<double> data;
    std::vector<std::uint32_t> count;
    std::vector<std::string> strdata;  // FIRST and LAST: the value text of each slot
    TextList storedTexts;              // the others: the value texts read from the store
};

}  // namespace tg
