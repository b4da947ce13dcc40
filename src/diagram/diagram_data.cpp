// The stored text forms of a diagram's data, and writing them.

#include "diagram/diagram_data.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include "config/config_key.h"
#include "datasource/list_text.h"
#include "diagram/diagram_keys.h"

namespace tg {
namespace {

// Calls `convert` with each comma-terminated piece of `text` as a C string (text after the
// last comma is dropped, as splitList drops it).
template <class Convert>
void forEachPiece(std::string_view text, Convert convert) {
    std::string piece;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find(',', start)) != std::string_view::npos;) {
        piece.assign(text.substr(start, at - start));
        convert(piece.c_str());
        start = at + 1;
    }
}

}  // namespace

void writeDiagramData(ConfigStore& store, const DiagramData& data, MissingKeys missing) {
    if (!hasOwnKey(data.name)) return;
    const char separator = store.listSeparator();
    ConfigKey key(store);
    const auto openKey = [&](const std::string& path) {
        return missing == MissingKeys::Create ? key.open(path) : key.openExisting(path);
    };
    if (!openKey(diagramKeyPath(data.name))) return;
    key.setString("xaxis", joinEscapedList(data.xLabels, separator));
    for (const AxisData& axis : data.axes) {
        if (!hasOwnKey(axis.name)) continue;  // would write onto the yaxises key itself
        if (!openKey(itemKeyPath(data.name, kAxesFolder, axis.name))) continue;
        key.setString("strdata", joinEscapedList(axis.strdata, separator));
        key.setString("data", joinDoubles(axis.data));
        key.setString("count", joinCounts(axis.count));
    }
}

std::string formatNumber(double value) {
    // glibc's gcvt(value, 10, buf) is exactly this conversion.
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

std::string joinDoubles(const std::vector<double>& values) {
    std::string text;
    text.reserve(values.size() * 8);
    char number[32];
    for (double value : values) {
        // The shortest text that reads back as exactly this number: ten digits would turn a
        // sum of 10452925076 into 10452925080, and the largest double into infinity.
        const auto result = std::to_chars(number, number + sizeof number, value);
        text.append(number, result.ptr);
        text += ',';
    }
    return text;
}

std::vector<double> splitDoubles(std::string_view text) {
    std::vector<double> values;
    forEachPiece(text, [&](const char* piece) { values.push_back(std::atof(piece)); });
    return values;
}

std::string joinCounts(const std::vector<std::uint32_t>& counts) {
    std::string text;
    text.reserve(counts.size() * 4);
    for (std::uint32_t count : counts) {
        text += std::to_string(count);
        text += ',';
    }
    return text;
}

std::vector<std::uint32_t> splitLongs(std::string_view text) {
    // Read as atol reads (leading blanks, a sign, digits up to the first other character),
    // but wide enough for every count that was written, and clamped into the count's range:
    // a negative piece is 0, one beyond 32 bits the largest count.
    constexpr long long kMaxCount = std::numeric_limits<std::uint32_t>::max();
    std::vector<std::uint32_t> counts;
    forEachPiece(text, [&](const char* piece) {
        const long long value = std::strtoll(piece, nullptr, 10);
        counts.push_back(static_cast<std::uint32_t>(value < 0 ? 0 : std::min(value, kMaxCount)));
    });
    return counts;
}

}  // namespace tg
