#pragma once
// How a y-axis folds the values of the records of one x label into its slot.

#include <cstdint>
#include <string_view>

namespace tg {

enum class AxisOper : std::uint32_t {
    Undefined = 0,  // nothing is accumulated
    Sum = 1,
    Count = 2,  // records whose value text is not empty
    Min = 3,
    Max = 4,
    Average = 5,  // sum divided by the slot's record count
    First = 6,    // text of the first value
    Last = 7,     // text of the latest value
};

// "SUM", "COUNT", ...; "UNDEFINED" for every code outside 1..7.
std::string_view operName(AxisOper oper);
// The exact, case-sensitive text; anything else (also "UNDEFINED") is Undefined.
AxisOper operFromName(std::string_view text);
inline AxisOper operFromCode(std::uint32_t code) { return static_cast<AxisOper>(code); }

}  // namespace tg
