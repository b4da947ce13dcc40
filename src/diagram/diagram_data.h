#pragma once
// A diagram's accumulated data as it is stored: the x labels and, per y-axis, its number,
// text and count slots. Copied out of a diagram under its lock, written without any lock; the
// texts are flat lists, so that the copy is a few flat copies however many labels there are.

#include <cstdint>
#include <string>
#include <vector>

#include "config/config_store.h"
#include "diagram/axis_oper.h"
#include "diagram/text_list.h"

namespace tg {

struct AxisData {
    std::string name;
    std::vector<double> data;
    // FIRST and LAST: every slot's value text. The others keep only the texts read from the
    // store (if any); the slots beyond them are written with their number (as in "data").
    TextList strdata;
    std::vector<std::uint32_t> count;
    AxisOper oper = AxisOper::Undefined;
};

struct DiagramData {
    std::string name;  // the diagram's; nothing is written when it is empty
    TextList xLabels;
    std::vector<AxisData> axes;
};

enum class MissingKeys { Create, Skip };

// Writes "xaxis" under diagrams\<name> and "strdata", "data", "count" under each axis's key.
// With Skip, a missing diagram or axis key is left missing and its values unwritten.
// Callers that need the values to land together wrap this in a ConfigTransaction.
void writeDiagramData(ConfigStore& store, const DiagramData& data,
                      MissingKeys missing = MissingKeys::Create);

// The positions of the `maxLabels` labels with the most records over all axes (the earlier
// label first among equals), in label order; every position when there are no more.
std::vector<std::size_t> busiestLabels(const DiagramData& data, std::size_t maxLabels);

// The number texts of the charts and tables: 10 significant digits, as gcvt writes them.
std::string formatNumber(double value);
// "1.5,2," and back (only comma-terminated pieces count; each read with atof / atol).
// Numbers are stored in the shortest form that reads back exactly; stores written with ten
// digits read as before.
std::string joinDoubles(const std::vector<double>& values);
std::vector<double> splitDoubles(std::string_view text);
std::string joinCounts(const std::vector<std::uint32_t>& counts);
std::vector<std::uint32_t> splitLongs(std::string_view text);
// `texts` without the trailing ones that are only their slot's number as "data" writes it (as
// they are stored for the slots of an axis that keeps no texts): they are written again.
TextList withoutNumberTexts(const TextList& texts, const std::vector<double>& data);
// joinEscapedList and splitEscapedList (list_text.h) of flat lists: the same texts.
std::string joinEscapedTexts(const TextList& list, char separator);
TextList splitEscapedTexts(std::string_view text, char separator);

}  // namespace tg
