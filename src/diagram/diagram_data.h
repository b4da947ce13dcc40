#pragma once
// A diagram's accumulated data as it is stored: the x labels and, per y-axis, its number,
// text and count slots. Copied out of a diagram under its lock, written without any lock.

#include <cstdint>
#include <string>
#include <vector>

#include "config/config_store.h"

namespace tg {

struct AxisData {
    std::string name;
    std::vector<double> data;
    std::vector<std::string> strdata;
    std::vector<std::uint32_t> count;
};

struct DiagramData {
    std::string name;  // the diagram's; nothing is written when it is empty
    std::vector<std::string> xLabels;
    std::vector<AxisData> axes;
};

enum class MissingKeys { Create, Skip };

// Writes "xaxis" under diagrams\<name> and "strdata", "data", "count" under each axis's key.
// With Skip, a missing diagram or axis key is left missing and its values unwritten.
// Callers that need the values to land together wrap this in a ConfigTransaction.
void writeDiagramData(ConfigStore& store, const DiagramData& data,
                      MissingKeys missing = MissingKeys::Create);

// The number texts of the charts and tables: 10 significant digits, as gcvt writes them.
std::string formatNumber(double value);
// "1.5,2," and back (only comma-terminated pieces count; each read with atof / atol).
// Numbers are stored in the shortest form that reads back exactly; stores written with ten
// digits read as before.
std::string joinDoubles(const std::vector<double>& values);
std::vector<double> splitDoubles(std::string_view text);
std::string joinCounts(const std::vector<std::uint32_t>& counts);
std::vector<std::uint32_t> splitLongs(std::string_view text);

}  // namespace tg
