#pragma once
// Writes metrics in the Prometheus text exposition format (version 0.0.4) or in OpenMetrics
// 1.0. A family opens with its HELP and TYPE lines; its samples follow it, all of them before
// the next family. Label values are any bytes, written as UTF-8 (utf8_text.h) and escaped as
// both formats require (backslash, double quote, line feed).
// One writer per answer; not shared between threads.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace tg {

enum class ExpositionFormat { Text, OpenMetrics };

// OpenMetrics when the Accept header asks for "application/openmetrics-text".
ExpositionFormat formatForAccept(std::string_view accept);
std::string_view contentTypeOf(ExpositionFormat format);

struct MetricLabel {
    std::string_view name;   // a valid label name, chosen by the program
    std::string_view value;  // any bytes
};

class ExpositionWriter {
public:
    enum class Type { Gauge, Counter };

    explicit ExpositionWriter(ExpositionFormat format) : m_format(format) {}

    // `name` is a valid metric name; a counter's samples get "_total" appended to it.
    void family(std::string_view name, Type type, std::string_view help);
    void sample(std::initializer_list<MetricLabel> labels, double value);
    void sample(std::initializer_list<MetricLabel> labels, std::uint64_t value);
    // The whole answer (OpenMetrics ends with "# EOF"); the writer is empty afterwards.
    std::string finish();
    // Room for the samples still to come.
    void reserve(std::size_t bytes) { m_out.reserve(bytes); }

private:
    void startSample(std::initializer_list<MetricLabel> labels);

    ExpositionFormat m_format;
    std::string m_name;  // the open family's sample name
    std::string m_out;
};

// Appends `value` converted to UTF-8 and escaped for a label value.
void appendLabelValue(std::string& out, std::string_view value);
// The number as the formats read it: shortest exact form, "NaN", "+Inf", "-Inf".
void appendMetricNumber(std::string& out, double value);

}  // namespace tg
