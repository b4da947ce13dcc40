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

// Calls `convert` with each comma-terminated piece of `text` (text after the last comma is
// dropped, as splitList drops it).
template <class Convert>
void forEachPiece(std::string_view text, Convert convert) {
    std::size_t start = 0;
    for (std::size_t at; (at = text.find(',', start)) != std::string_view::npos;) {
        convert(text.substr(start, at - start));
        start = at + 1;
    }
}

// The number as `read` (atof, strtoll) reads the piece; a piece that is exactly one number in
// the form we write is read without a copy.
template <class Number, class Read>
Number readPiece(std::string_view piece, Read read) {
    Number value{};
    const char* end = piece.data() + piece.size();
    const auto result = std::from_chars(piece.data(), end, value);
    if (!piece.empty() && result.ec == std::errc() && result.ptr == end) return value;
    thread_local std::string copy;
    copy.assign(piece);
    return static_cast<Number>(read(copy.c_str()));
}

// The texts to store as an axis's "strdata": its own, and for an axis that keeps no text per
// slot, the number of each slot it has no text for.
const TextList& storedTexts(const AxisData& axis, TextList& room) {
    const bool shown = axis.oper == AxisOper::First || axis.oper == AxisOper::Last;
    if (shown || axis.strdata.size() >= axis.data.size()) return axis.strdata;
    room = axis.strdata;
    char number[32];
    for (std::size_t x = axis.strdata.size(); x < axis.data.size(); ++x) {
        const auto result = std::to_chars(number, number + sizeof number, axis.data[x]);
        room.push_back(std::string_view(number, static_cast<std::size_t>(result.ptr - number)));
    }
    return room;
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
    key.setString("xaxis", joinEscapedTexts(data.xLabels, separator));
    for (const AxisData& axis : data.axes) {
        if (!hasOwnKey(axis.name)) continue;  // would write onto the yaxises key itself
        if (!openKey(itemKeyPath(data.name, kAxesFolder, axis.name))) continue;
        TextList room;
        key.setString("strdata", joinEscapedTexts(storedTexts(axis, room), separator));
        key.setString("data", joinDoubles(axis.data));
        key.setString("count", joinCounts(axis.count));
    }
}

TextList withoutNumberTexts(const TextList& texts, const std::vector<double>& data) {
    std::size_t keep = texts.size();
    char number[32];
    for (; keep > 0 && keep <= data.size(); --keep) {
        const auto result = std::to_chars(number, number + sizeof number, data[keep - 1]);
        if (texts[keep - 1] !=
            std::string_view(number, static_cast<std::size_t>(result.ptr - number)))
            break;
    }
    if (keep == texts.size()) return texts;
    TextList kept;
    kept.append(texts, 0, keep);
    return kept;
}

std::string joinEscapedTexts(const TextList& list, char separator) {
    std::string text;
    text.reserve(list.textBytes() + list.size() + 1);
    if (list.chars().find(separator) == std::string_view::npos) {
        for (std::string_view item : list) {
            text += item;
            text += separator;
        }
        return text;
    }
    for (std::string_view item : list) appendEscapedEntry(text, item, separator);
    text += escapedListMark(separator);
    return text;
}

TextList splitEscapedTexts(std::string_view text, char separator) {
    const bool escaped = isEscapedList(text, separator);
    const char escape = escapedListMark(separator);
    TextList list;
    list.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), separator)),
                 text.size());
    std::string plain;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find(separator, start)) != std::string_view::npos;) {
        const std::string_view piece = text.substr(start, at - start);
        start = at + 1;
        if (!escaped || piece.find(escape) == std::string_view::npos) {
            list.push_back(piece);
            continue;
        }
        unescapeEntry(piece, separator, plain);
        list.push_back(plain);
    }
    return list;
}

std::vector<std::size_t> busiestLabels(const DiagramData& data, std::size_t maxLabels) {
    const std::size_t total = data.xLabels.size();
    std::vector<std::size_t> chosen(total);
    for (std::size_t x = 0; x < total; ++x) chosen[x] = x;
    if (total <= maxLabels) return chosen;
    std::vector<std::uint64_t> weights(total, 0);
    for (const AxisData& axis : data.axes) {
        const std::size_t size = std::min(axis.count.size(), total);
        for (std::size_t x = 0; x < size; ++x) weights[x] += axis.count[x];
    }
    const auto busier = [&](std::size_t a, std::size_t b) {
        return weights[a] != weights[b] ? weights[a] > weights[b] : a < b;
    };
    std::nth_element(chosen.begin(), chosen.begin() + static_cast<std::ptrdiff_t>(maxLabels),
                     chosen.end(), busier);
    chosen.resize(maxLabels);
    std::sort(chosen.begin(), chosen.end());
    return chosen;
}

std::string formatNumber(double value) {
    // glibc's gcvt(value, 10, buf) is exactly this conversion: printf's "%.10g", which
    // to_chars with a precision writes too, several times faster.
    char text[32];
    const auto result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::general, 10);
    return std::string(text, result.ptr);
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
    values.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), ',')));
    forEachPiece(text, [&](std::string_view piece) {
        values.push_back(readPiece<double>(piece, [](const char* c) { return std::atof(c); }));
    });
    return values;
}

std::string joinCounts(const std::vector<std::uint32_t>& counts) {
    std::string text;
    text.reserve(counts.size() * 4);
    char number[16];
    for (std::uint32_t count : counts) {
        const auto result = std::to_chars(number, number + sizeof number, count);
        text.append(number, result.ptr);
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
    counts.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), ',')));
    forEachPiece(text, [&](std::string_view piece) {
        const long long value =
            readPiece<long long>(piece, [](const char* c) { return std::strtoll(c, nullptr, 10); });
        counts.push_back(static_cast<std::uint32_t>(value < 0 ? 0 : std::min(value, kMaxCount)));
    });
    return counts;
}

}  // namespace tg
