#pragma once
// The kinds of item a diagram holds (filters, groups and y-axes), each described once: where
// the store keeps them, which setting the kind has besides its field and expression, and the
// names the edit page and its template use for them. The diagram's item operations, the edit
// page's actions and rows, and the item sections of the edit template (assembled from partials
// at build time) all follow these descriptions. Constant data; any thread.

#include <array>
#include <cstdint>
#include <string_view>

#include "diagram/diagram_keys.h"

namespace tg {

enum class ItemType { Filter, Group, Axis };

// The setting a kind has besides field and expression, held as a number.
enum class ItemSetting {
    None,       // groups
    Invert,     // filters: 0 plain, 1 inverted, any other value lets every record with the field
                // pass; a checkbox on the page
    Operation,  // axes: an AxisOper code; chosen by its name ("SUM" ...) on the page
};

struct ItemKind {
    ItemType type;
    // The store keeps item <name> at diagrams\<diagram>\<folder>\<name>.
    std::string_view folder;
    // In the edit page's actions and parameters: create_<word>, <word>_name, ...
    std::string_view word;
    std::string_view baseName;  // of new items: "Group", "Group 2", ...
    // The template block of the kind's rows and the variables of one row.
    std::string_view record;
    std::string_view nameVariable;
    std::string_view fieldVariable;
    std::string_view regexpVariable;
    ItemSetting setting;
    // Of the setting, when the kind has one: the value name in the item's key, the request
    // parameter (the action change_<parameter> sets it), the row's variable and the column's
    // heading.
    std::string_view settingValue;
    std::string_view settingParameter;
    std::string_view settingVariable;
    std::string_view settingHeading;
    // How the edit page speaks of the kind.
    std::string_view noun;    // "y-axis": "New y-axis", "Delete the y-axis ..."
    std::string_view plural;  // "axes": the id of the kind's section
    std::string_view title;   // "Y-axes"
    std::string_view hint;
    std::string_view emptyText;
};

// One row per part of the description.
// clang-format off
inline constexpr ItemKind kFilterKind{
    ItemType::Filter, kFiltersFolder, "filter", "Filter",
    "FILTERRECORD", "FILTERNAME", "FILTERFIELDNAME", "FILTERREGEXP",
    ItemSetting::Invert, "inv", "filter_invert", "FILTERINV", "Invert",
    "filter", "filters", "Filters", "a record counts only when every filter matches",
    "No filters: every record counts."};

inline constexpr ItemKind kGroupKind{
    ItemType::Group, kGroupsFolder, "group", "Group",
    "GROUPRECORD", "GROUPNAME", "GROUPFIELDNAME", "GROUPREGEXP",
    ItemSetting::None, "", "", "", "",
    "group", "groups", "Groups", "their values, joined, make the x labels",
    "No groups: every record falls on one x label."};

inline constexpr ItemKind kAxisKind{
    ItemType::Axis, kAxesFolder, "axis", "Axis",
    "AXISRECORD", "AXISNAME", "AXISFIELDNAME", "AXISREGEXP",
    ItemSetting::Operation, "oper", "axis_oper", "AXISOPER", "Operation",
    "y-axis", "axes", "Y-axes", "one series of the chart each",
    "No y-axes: the chart has nothing to show."};
// clang-format on

// Every kind, in the order a record meets them: filters, groups, axes.
inline constexpr std::array<const ItemKind*, 3> kItemKinds = {&kFilterKind, &kGroupKind,
                                                              &kAxisKind};

// Passed as a setting, leaves the item's setting as it is.
inline constexpr std::uint32_t kKeepSetting = 0xFFFFFFFF;

}  // namespace tg
