#include "metrics/diagram_export.h"

#include <algorithm>
#include <cstdio>

#include "diagram/aggregation.h"
#include "diagram/diagram.h"
#include "metrics/utf8_text.h"

namespace tg {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// JSON's number grammar: -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
bool isJsonNumber(std::string_view text) {
    std::size_t i = 0;
    const auto digits = [&] {
        const std::size_t start = i;
        while (i < text.size() && isDigit(text[i])) ++i;
        return i > start;
    };
    if (i < text.size() && text[i] == '-') ++i;
    if (i < text.size() && text[i] == '0') {
        ++i;
    } else if (!digits()) {
        return false;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        if (!digits()) return false;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        if (!digits()) return false;
    }
    return i == text.size();
}

void appendJsonString(std::string& out, std::string_view text) {
    out += '"';
    std::size_t plain = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c != '"' && c != '\\') continue;
        appendUtf8(out, text.substr(plain, i - plain));
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        }
        plain = i + 1;
    }
    appendUtf8(out, text.substr(plain));
    out += '"';
}

void appendCsvField(std::string& out, std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        appendUtf8(out, text);
        return;
    }
    out += '"';
    std::size_t plain = 0;
    for (std::size_t quote = text.find('"'); quote != std::string_view::npos;
         quote = text.find('"', quote + 1)) {
        appendUtf8(out, text.substr(plain, quote + 1 - plain));
        out += '"';
        plain = quote + 1;
    }
    appendUtf8(out, text.substr(plain));
    out += '"';
}

}  // namespace

DiagramTable diagramTableOf(const Diagram& diagram) {
    DiagramTable table;
    table.name = diagram.name();
    DiagramData data = diagram.copyData(false);
    table.labels = std::move(data.xLabels);
    for (AxisData& axis : data.axes) {
        TextList& values = table.series.emplace_back();
        const std::size_t count = valueCount(axis);
        if (axis.oper == AxisOper::First || axis.oper == AxisOper::Last) {
            values = std::move(axis.strdata);
            continue;
        }
        values.reserve(count, count * 8);
        for (std::size_t x = 0; x < count; ++x) values.push_back(valueText(axis, x));
    }
    const std::vector<ItemDefinition> axes = diagram.items(kAxisKind);
    // An axis added or removed between the two reads: the names follow the data.
    for (std::size_t a = 0; a < table.series.size(); ++a) {
        table.axisNames.push_back(a < axes.size() ? axes[a].name : std::string());
        table.opers.push_back(a < axes.size() ? operFromCode(axes[a].setting)
                                              : AxisOper::Undefined);
    }
    return table;
}

std::string diagramJson(const DiagramTable& table) {
    std::string out;
    // Most of it at once: a table of a million labels would otherwise be copied as it grows.
    out.reserve(table.labels.textBytes() + table.labels.size() * (4 + 12 * table.series.size()));
    out += "{\"diagram\":";
    appendJsonString(out, table.name);
    out += ",\"labels\":[";
    for (std::size_t x = 0; x < table.labels.size(); ++x) {
        if (x > 0) out += ',';
        appendJsonString(out, table.labels[x]);
    }
    out += "],\"series\":[";
    for (std::size_t a = 0; a < table.series.size(); ++a) {
        if (a > 0) out += ',';
        out += "{\"axis\":";
        appendJsonString(out, a < table.axisNames.size() ? table.axisNames[a] : std::string());
        out += ",\"operation\":";
        appendJsonString(out,
                         operName(a < table.opers.size() ? table.opers[a] : AxisOper::Undefined));
        out += ",\"values\":[";
        const TextList& values = table.series[a];
        for (std::size_t x = 0; x < std::max(values.size(), table.labels.size()); ++x) {
            if (x > 0) out += ',';
            if (x >= values.size()) {
                out += "null";
            } else if (isJsonNumber(values[x])) {
                out += values[x];
            } else {
                appendJsonString(out, values[x]);
            }
        }
        out += "]}";
    }
    out += "]}\n";
    return out;
}

std::string diagramCsv(const DiagramTable& table) {
    std::string out;
    out.reserve(table.labels.textBytes() + table.labels.size() * (2 + 12 * table.series.size()));
    out += "label";
    for (const std::string& axis : table.axisNames) {
        out += ',';
        appendCsvField(out, axis);
    }
    out += "\r\n";
    for (std::size_t x = 0; x < table.labels.size(); ++x) {
        appendCsvField(out, table.labels[x]);
        for (const TextList& values : table.series) {
            out += ',';
            if (x < values.size()) appendCsvField(out, values[x]);
        }
        out += "\r\n";
    }
    return out;
}

}  // namespace tg
