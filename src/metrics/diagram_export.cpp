#include "metrics/diagram_export.h"

#include <algorithm>
#include <cstdint>
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
    table.axes = std::move(data.axes);
    const std::vector<ItemDefinition> axes = diagram.items(kAxisKind);
    // An axis added or removed between the two reads: the names follow the data.
    for (std::size_t a = 0; a < table.axes.size(); ++a) {
        table.axisNames.push_back(a < axes.size() ? axes[a].name : std::string());
        table.opers.push_back(a < axes.size() ? operFromCode(axes[a].setting)
                                              : AxisOper::Undefined);
    }
    return table;
}

std::string diagramJson(const DiagramTable& table) {
    std::string out;
    // Most of it at once: a table of a million labels would otherwise be copied as it grows.
    out.reserve(table.labels.textBytes() + table.labels.size() * (4 + 12 * table.axes.size()));
    DiagramWriter writer(table, DiagramWriter::Format::Json);
    while (writer.next(out, SIZE_MAX)) {
    }
    return out;
}

std::string diagramCsv(const DiagramTable& table) {
    std::string out;
    out.reserve(table.labels.textBytes() + table.labels.size() * (2 + 12 * table.axes.size()));
    DiagramWriter writer(table, DiagramWriter::Format::Csv);
    while (writer.next(out, SIZE_MAX)) {
    }
    return out;
}

bool DiagramWriter::next(std::string& out, std::size_t bytes) {
    if (m_stage == Stage::Done) return false;
    const std::size_t limit = bytes > SIZE_MAX - out.size() ? SIZE_MAX : out.size() + bytes;
    if (m_format == Format::Json) {
        writeJson(out, limit);
    } else {
        writeCsv(out, limit);
    }
    return true;
}

void DiagramWriter::writeJson(std::string& out, std::size_t limit) {
    const DiagramTable& table = m_table;
    while (out.size() < limit && m_stage != Stage::Done) {
        switch (m_stage) {
            case Stage::Head:
                out += "{\"diagram\":";
                appendJsonString(out, table.name);
                out += ",\"labels\":[";
                m_stage = Stage::Labels;
                break;
            case Stage::Labels:
                for (; m_x < table.labels.size() && out.size() < limit; ++m_x) {
                    if (m_x > 0) out += ',';
                    appendJsonString(out, table.labels[m_x]);
                }
                if (m_x == table.labels.size()) {
                    out += "],\"series\":[";
                    m_stage = Stage::AxisHead;
                }
                break;
            case Stage::AxisHead: {
                if (m_axis == table.axes.size()) {
                    out += "]}\n";
                    m_stage = Stage::Done;
                    break;
                }
                const std::size_t a = m_axis;
                if (a > 0) out += ',';
                out += "{\"axis\":";
                appendJsonString(out,
                                 a < table.axisNames.size() ? table.axisNames[a] : std::string());
                out += ",\"operation\":";
                appendJsonString(
                    out, operName(a < table.opers.size() ? table.opers[a] : AxisOper::Undefined));
                out += ",\"values\":[";
                m_x = 0;
                m_stage = Stage::Values;
                break;
            }
            default: {  // Stage::Values
                const AxisData& axis = table.axes[m_axis];
                const std::size_t values = valueCount(axis);
                const std::size_t count = std::max(values, table.labels.size());
                for (; m_x < count && out.size() < limit; ++m_x) {
                    if (m_x > 0) out += ',';
                    if (m_x >= values) {
                        out += "null";
                        continue;
                    }
                    const std::string value = valueText(axis, m_x);
                    if (isJsonNumber(value)) {
                        out += value;
                    } else {
                        appendJsonString(out, value);
                    }
                }
                if (m_x == count) {
                    out += "]}";
                    ++m_axis;
                    m_stage = Stage::AxisHead;
                }
                break;
            }
        }
    }
}

void DiagramWriter::writeCsv(std::string& out, std::size_t limit) {
    const DiagramTable& table = m_table;
    if (m_stage == Stage::Head) {
        out += "label";
        for (const std::string& axis : table.axisNames) {
            out += ',';
            appendCsvField(out, axis);
        }
        out += "\r\n";
        m_stage = Stage::Rows;
    }
    for (; m_x < table.labels.size() && out.size() < limit; ++m_x) {
        appendCsvField(out, table.labels[m_x]);
        for (const AxisData& axis : table.axes) {
            out += ',';
            if (m_x < valueCount(axis)) appendCsvField(out, valueText(axis, m_x));
        }
        out += "\r\n";
    }
    if (m_x == table.labels.size()) m_stage = Stage::Done;
}

}  // namespace tg
