#include "metrics/exposition_writer.h"

#include <charconv>
#include <cmath>

#include "metrics/utf8_text.h"

namespace tg {
namespace {

bool containsWord(std::string_view text, std::string_view word) {
    return text.find(word) != std::string_view::npos;
}

void appendHelpText(std::string& out, std::string_view text) {
    for (const char c : text) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out.push_back(c);
        }
    }
}

}  // namespace

ExpositionFormat formatForAccept(std::string_view accept) {
    return containsWord(accept, "application/openmetrics-text") ? ExpositionFormat::OpenMetrics
                                                                : ExpositionFormat::Text;
}

std::string_view contentTypeOf(ExpositionFormat format) {
    return format == ExpositionFormat::OpenMetrics
               ? "application/openmetrics-text; version=1.0.0; charset=utf-8"
               : "text/plain; version=0.0.4; charset=utf-8";
}

void appendLabelValue(std::string& out, std::string_view value) {
    std::size_t plain = 0;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c != '\\' && c != '"' && c != '\n') continue;
        appendUtf8(out, value.substr(plain, i - plain));
        out += c == '\n' ? "\\n" : c == '"' ? "\\\"" : "\\\\";
        plain = i + 1;
    }
    appendUtf8(out, value.substr(plain));
}

void appendMetricNumber(std::string& out, double value) {
    if (std::isnan(value)) {
        out += "NaN";
    } else if (std::isinf(value)) {
        out += value > 0 ? "+Inf" : "-Inf";
    } else {
        char buffer[32];
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
        out.append(buffer, result.ptr);
    }
}

void ExpositionWriter::family(std::string_view name, Type type, std::string_view help) {
    m_name.assign(name);
    // The text format names a counter's samples in its TYPE line; OpenMetrics the family.
    const bool counter = type == Type::Counter;
    if (counter) m_name += "_total";
    const std::string_view described =
        counter && m_format == ExpositionFormat::OpenMetrics ? name : std::string_view(m_name);
    m_out += "# HELP ";
    m_out += described;
    m_out += ' ';
    appendHelpText(m_out, help);
    m_out += "\n# TYPE ";
    m_out += described;
    m_out += counter ? " counter\n" : " gauge\n";
}

void ExpositionWriter::startSample(std::initializer_list<MetricLabel> labels) {
    m_out += m_name;
    if (labels.size() == 0) {
        m_out += ' ';
        return;
    }
    char separator = '{';
    for (const MetricLabel& label : labels) {
        m_out += separator;
        m_out += label.name;
        m_out += "=\"";
        appendLabelValue(m_out, label.value);
        m_out += '"';
        separator = ',';
    }
    m_out += "} ";
}

void ExpositionWriter::sample(std::initializer_list<MetricLabel> labels, double value) {
    startSample(labels);
    appendMetricNumber(m_out, value);
    m_out += '\n';
}

void ExpositionWriter::sample(std::initializer_list<MetricLabel> labels, std::uint64_t value) {
    startSample(labels);
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    m_out.append(buffer, result.ptr);
    m_out += '\n';
}

std::string ExpositionWriter::finish() {
    if (m_format == ExpositionFormat::OpenMetrics) m_out += "# EOF\n";
    std::string out = std::move(m_out);
    m_out.clear();
    return out;
}

}  // namespace tg
