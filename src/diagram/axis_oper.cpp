#include "diagram/axis_oper.h"

#include <array>

namespace tg {
namespace {

constexpr std::array<std::string_view, 8> kNames = {"UNDEFINED", "SUM",     "COUNT", "MIN",
                                                    "MAX",       "AVERAGE", "FIRST", "LAST"};

}  // namespace

std::string_view operName(AxisOper oper) {
    const auto code = static_cast<std::uint32_t>(oper);
    return code < kNames.size() ? kNames[code] : kNames[0];
}

AxisOper operFromName(std::string_view text) {
    for (std::uint32_t code = 1; code < kNames.size(); ++code) {
        if (kNames[code] == text) return static_cast<AxisOper>(code);
    }
    return AxisOper::Undefined;
}

}  // namespace tg
