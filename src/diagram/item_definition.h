#pragma once
// An item's definition as the diagram hands it out, and a change to one. Plain values.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "diagram/item_kind.h"

namespace tg {

struct ItemDefinition {
    std::string name;
    std::string field;
    std::string regexp;
    std::uint32_t setting = 0;  // of the kind's ItemSetting; 0 for kinds without one
};

// What is not given stays as it is. An empty expression becomes ".*".
struct ItemChange {
    std::optional<std::string_view> field;
    std::optional<std::string_view> regexp;
    // kKeepSetting keeps it; so does an axis's AxisOper::Undefined (0). Kinds without a setting
    // ignore it.
    std::uint32_t setting = kKeepSetting;
};

}  // namespace tg
