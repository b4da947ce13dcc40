#pragma once
// How one record is folded into a diagram, item by item. Called under the diagram's lock.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "datasource/record.h"
#include "diagram/axis.h"
#include "diagram/diagram_data.h"
#include "diagram/filter.h"
#include "diagram/group.h"

namespace tg {

// Found exclusive-or invert; a missing field never matches, whatever the invert flag.
bool matches(const Filter& filter, RecordView record, const FieldNames& names);
// The group's extracted value; empty when the field is missing or nothing matched.
std::string groupValue(const Group& group, RecordView record, const FieldNames& names);
// Sets the axis's current value (empty when nothing was taken); true when a value was taken.
bool extractValue(Axis& axis, RecordView record, const FieldNames& names);
// Folds the current value into slot `x`, creating slots up to it.
void accumulate(Axis& axis, std::size_t x);
// h:m:s (":", "|" or "'" between) as minutes with a fraction; else the plain decimal number
// the text starts with (blanks before it skipped; "inf", "nan" and hexadecimal are no
// numbers), 0 when there is none.
double parseAxisNumber(std::string_view text);
// FIRST and LAST: the texts; others: the numbers (AVERAGE divided by the count).
std::vector<std::string> valueTexts(const Axis& axis);
std::vector<std::string> valueTexts(const AxisData& axis);
// The number of value texts of a copied axis, and the text of slot `x` below that number.
std::size_t valueCount(const AxisData& axis);
std::string valueText(const AxisData& axis, std::size_t x);

}  // namespace tg
