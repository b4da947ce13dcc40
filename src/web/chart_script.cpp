#include "web/chart_script.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "diagram/aggregation.h"
#include "diagram/diagram_data.h"
#include "web/script_escape.h"

namespace tg {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Skips digits from `i`; false when there was none.
bool skipDigits(std::string_view text, std::size_t& i) {
    const std::size_t start = i;
    while (i < text.size() && isDigit(text[i])) ++i;
    return i > start;
}

// -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?: what JavaScript reads as the same number
// that atof does. Leading zeros are left out, since "010" could be read as octal.
bool isPlainNumber(std::string_view text) {
    std::size_t i = 0;
    if (i < text.size() && text[i] == '-') ++i;
    if (i < text.size() && text[i] == '0') {
        ++i;
    } else if (!skipDigits(text, i)) {
        return false;
    }
    if (i < text.size() && text[i] == '.' && !skipDigits(text, ++i)) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        if (!skipDigits(text, i)) return false;
    }
    return i == text.size();
}

void appendHexByte(std::string& out, unsigned char byte) {
    out += "\\x";
    out += kHexDigits[byte >> 4];
    out += kHexDigits[byte & 0x0F];
}

void appendUnit(std::string& out, char32_t unit) {
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out += kHexDigits[(unit >> shift) & 0x0F];
}

void appendCodePoint(std::string& out, char32_t code) {
    if (code < 0x10000) {
        appendUnit(out, code);
        return;
    }
    code -= 0x10000;
    appendUnit(out, 0xD800 + (code >> 10));
    appendUnit(out, 0xDC00 + (code & 0x3FF));
}

struct Utf8Char {
    char32_t code = 0;
    std::size_t length = 0;  // 0: not a valid sequence
};

// The UTF-8 sequence that starts at text[i]. Overlong forms, surrogates, code points beyond
// U+10FFFF and sequences cut short are not valid.
Utf8Char decodeUtf8(std::string_view text, std::size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    char32_t code = 0;
    unsigned char low = 0x80;  // the range of the second byte
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return {};
    }
    if (text.size() - i < length) return {};
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) return {};
        code = (code << 6) | (next & 0x3F);
    }
    return {code, length};
}

void appendList(std::string& out, const std::vector<std::string>& items) {
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) out += ", ";
        appendScriptString(out, items[i]);
    }
}

}  // namespace

ChartView substituteChartView() {
    return ChartView{{"No data", "No data"}, {"No data", "No data"}, {{"1", "1"}, {"1", "1"}}};
}

ChartView chartViewOf(DiagramManager& diagrams, std::string_view name, std::size_t maxLabels) {
    const DiagramHandle diagram = diagrams.acquire(name);
    if (!diagram || !diagram->isRunning()) return substituteChartView();
    ChartView chart;
    chart.seriesNames = diagram->itemNames(kAxisKind);
    // Copied under the diagram's lock; chosen and formatted without it.
    const DiagramData data = diagram->copyData(false);
    if (data.axes.empty() || valueCount(data.axes.front()) == 0) return substituteChartView();
    const std::vector<std::size_t> shown = busiestLabels(data, maxLabels);
    chart.totalLabels = data.xLabels.size();
    chart.labels.reserve(shown.size());
    for (const std::size_t x : shown) chart.labels.emplace_back(data.xLabels[x]);
    for (const AxisData& axis : data.axes) {
        std::vector<std::string>& values = chart.series.emplace_back();
        const std::size_t count = valueCount(axis);
        // Positions ascend: a series shorter than the labels ends early, as it does in full.
        for (std::size_t i = 0; i < shown.size() && shown[i] < count; ++i) {
            values.push_back(valueText(axis, shown[i]));
        }
    }
    return chart;
}

void appendChartScript(std::string& out, const ChartView& chart) {
    out += "<SCRIPT LANGUAGE=\"Javascript\" type=\"text/jscript\" >\n";
    out += "<!--\n";
    out += "var arr=new Array();\n";
    for (std::size_t i = 0; i < chart.series.size(); ++i) {
        const std::string array = "arr" + std::to_string(i);
        out += "var " + array + " = new Array();\n";
        const std::vector<std::string>& values = chart.series[i];
        for (std::size_t j = 0; j < values.size(); ++j) {
            out += array + "[" + std::to_string(j) + "] = ";
            appendChartValue(out, values[j]);
            out += ";\n";
        }
        out += "arr[" + std::to_string(i) + "] = " + array + ";\n";
    }
    out += "var arrname=new Array(";
    appendList(out, chart.labels);
    out += ");\n";
    out += "var labelarr=new Array(";
    appendList(out, chart.seriesNames);
    out += ");\n";
    if (chart.totalLabels > chart.labels.size()) {
        out += "var chartnote=";
        appendScriptString(
            out, "The chart shows the " + std::to_string(chart.labels.size()) + " busiest of " +
                     std::to_string(chart.totalLabels) +
                     " x labels (most records); \u201CDownload CSV\u201D has them all.");
        out += ";\n";
    }
    out += "-->\n";
    out += "</SCRIPT>\n";
}

void appendChartValue(std::string& out, std::string_view value) {
    const std::string terminated(value);  // atof reads up to the zero byte, as C did
    if (std::atof(terminated.c_str()) == 0.0) {
        out += '0';
    } else if (isPlainNumber(value)) {
        out += value;
    } else {
        appendScriptString(out, value);
    }
}

void appendScriptString(std::string& out, std::string_view text) {
    out += '"';
    std::size_t i = 0;
    while (i < text.size()) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x80) {
            const Utf8Char c = decodeUtf8(text, i);
            if (c.length > 0) {
                appendCodePoint(out, c.code);
                i += c.length;
            } else {
                appendUnit(out, ansiToUnicode(byte));
                ++i;
            }
            continue;
        }
        if (byte == '\\') {
            out += '/';
        } else if (byte < 0x20 || byte == 0x7F || byte == '"' || byte == '\'' || byte == '<' ||
                   byte == '>' || byte == '&') {
            appendHexByte(out, byte);
        } else {
            out += static_cast<char>(byte);
        }
        ++i;
    }
    out += '"';
}

}  // namespace tg
