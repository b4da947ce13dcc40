// Folding records into a diagram, and what it gives out for charts and tables.

#include "diagram/aggregation.h"

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdlib>

#include "diagram/diagram.h"
#include "diagram/diagram_data.h"

namespace tg {

bool matches(const Filter& filter, RecordView record, const FieldNames& names) {
    const std::optional<std::string_view> text = filter.fieldText(record, names);
    if (!text) return false;
    const bool found = filter.pattern().extractView(*text).has_value();
    return (static_cast<std::uint32_t>(found) ^ filter.invert) != 0;
}

std::string groupValue(const Group& group, RecordView record, const FieldNames& names) {
    return std::string(group.extractFrom(record, names).value_or(std::string_view()));
}

bool extractValue(Axis& axis, RecordView record, const FieldNames& names) {
    const std::optional<std::string_view> value = axis.extractFrom(record, names);
    axis.current = value.value_or(std::string_view());
    return value.has_value();
}

void accumulate(Axis& axis, std::size_t x) {
    bool created = false;
    if (axis.data.size() <= x) {
        axis.data.resize(x + 1, 0.0);
        created = true;
    }
    if (axis.count.size() <= x) {
        axis.count.resize(x + 1, 0);
        created = true;
    }
    const bool texts = axis.showsTexts();
    if (texts && axis.strdata.size() <= x) {
        axis.strdata.resize(x + 1);
        created = true;
    }
    if (created) {
        axis.data[x] = axis.oper == AxisOper::Min   ? DBL_MAX
                       : axis.oper == AxisOper::Max ? -DBL_MAX
                                                    : 0.0;
    }
    if (texts && (axis.oper != AxisOper::First || axis.count[x] == 0)) {
        axis.strdata[x] = axis.current;
    }
    ++axis.count[x];
    // COUNT and no operation never read the number.
    const bool numeric = axis.oper != AxisOper::Count && axis.oper != AxisOper::Undefined;
    const double value = numeric ? parseAxisNumber(axis.current) : 0.0;
    switch (axis.oper) {
        case AxisOper::Undefined:
            break;
        case AxisOper::Count:
            if (!axis.current.empty()) axis.data[x] += 1.0;
            break;
        case AxisOper::Min:
            if (value < axis.data[x]) axis.data[x] = value;
            break;
        case AxisOper::Max:
            if (value > axis.data[x]) axis.data[x] = value;
            break;
        default:
            axis.data[x] += value;
            break;  // SUM, AVERAGE, FIRST, LAST and unknown codes
    }
}

namespace {

std::size_t skipDigits(std::string_view text, std::size_t at) {
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
    return at;
}

// The plain decimal number at the start of `text` (blanks before it are skipped, as atof
// skips them): an optional sign, digits with an optional fraction, an optional exponent.
// 0 when there is none. Unlike atof it never reads "inf", "nan" or hexadecimal numbers, so
// a text value cannot turn a slot into infinity or NaN; a number beyond the range of a
// double is taken as the largest finite one.
double leadingNumber(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size() && std::isspace(static_cast<unsigned char>(text[start]))) ++start;
    std::size_t at = start;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
    const std::size_t intEnd = skipDigits(text, at);
    std::size_t end = intEnd;
    if (end < text.size() && text[end] == '.') end = skipDigits(text, end + 1);
    if (end - at == (end > intEnd ? 1u : 0u)) return 0.0;  // no digit at all
    if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
        std::size_t exponent = end + 1;
        if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-')) {
            ++exponent;
        }
        const std::size_t exponentEnd = skipDigits(text, exponent);
        if (exponentEnd > exponent) end = exponentEnd;
    }
    if (end == intEnd && intEnd - at <= 15) {
        // Up to 15 digits and nothing else: the value is exact in a double, so strtod would
        // give exactly this sum.
        double value = 0;
        for (std::size_t i = at; i < intEnd; ++i) value = value * 10 + (text[i] - '0');
        return text[start] == '-' ? -value : value;
    }
    thread_local std::string number;
    number.assign(text.substr(start, end - start));
    const double value = std::strtod(number.c_str(), nullptr);
    if (value == HUGE_VAL) return DBL_MAX;
    if (value == -HUGE_VAL) return -DBL_MAX;
    return value;
}

}  // namespace

double parseAxisNumber(std::string_view text) {
    // Compiled once, on first use, for the whole process (thread-safe static).
    static const RegExp timePattern = [] {
        RegExp pattern;
        pattern.compile("([0-9]+)[:|']([0-9]+)[:|']([0-9]+)");
        return pattern;
    }();
    // Without a separator the expression cannot match: most values are plain numbers.
    if (text.find_first_of(":|'") == std::string_view::npos) return leadingNumber(text);
    thread_local std::vector<std::string> parts;
    if (timePattern.split(text, parts) == 0 && parts.size() == 3) {
        return (leadingNumber(parts[0]) * 3600 + leadingNumber(parts[1]) * 60 +
                leadingNumber(parts[2])) /
               60;
    }
    return leadingNumber(text);
}

namespace {

std::vector<std::string> numberTexts(AxisOper oper, const std::vector<double>& data,
                                     const std::vector<std::uint32_t>& count) {
    std::vector<std::string> texts;
    const std::size_t size = std::min(data.size(), count.size());
    texts.reserve(size);
    for (std::size_t x = 0; x < size; ++x) {
        double value = data[x];
        if (oper == AxisOper::Average) value /= count[x];
        texts.push_back(formatNumber(value));
    }
    return texts;
}

}  // namespace

std::vector<std::string> valueTexts(const Axis& axis) {
    if (axis.showsTexts()) return axis.strdata;
    return numberTexts(axis.oper, axis.data, axis.count);
}

std::size_t valueCount(const AxisData& axis) {
    if (axis.oper == AxisOper::First || axis.oper == AxisOper::Last) return axis.strdata.size();
    return std::min(axis.data.size(), axis.count.size());
}

std::string valueText(const AxisData& axis, std::size_t x) {
    if (axis.oper == AxisOper::First || axis.oper == AxisOper::Last) {
        return std::string(axis.strdata[x]);
    }
    return formatNumber(axis.oper == AxisOper::Average ? axis.data[x] / axis.count[x]
                                                       : axis.data[x]);
}

std::vector<std::string> valueTexts(const AxisData& axis) {
    std::vector<std::string> texts;
    const std::size_t count = valueCount(axis);
    texts.reserve(count);
    for (std::size_t x = 0; x < count; ++x) texts.push_back(valueText(axis, x));
    return texts;
}

void Diagram::processRecord(const Record& record, const FieldNames& names) {
    std::lock_guard lock(m_lock);
    m_recent.push(record);
    fold(RecordViews(record), names);
}

void Diagram::processDelivered(RecordView record, const FieldNames& names) {
    if (!m_deliveryLock.owns_lock()) m_deliveryLock.lock();
    m_recent.pushPending(record);  // copied when the delivery ends, if still among the last
    fold(record, names);
}

void Diagram::deliveryPaused() {
    if (m_deliveryLock.owns_lock()) m_deliveryLock.unlock();
}

void Diagram::deliveryEnded() {
    deliveryPaused();
    std::lock_guard lock(m_lock);
    try {
        m_recent.keepPending();
    } catch (...) {
        m_recent.clear();  // out of memory: better no recent records than dangling ones
    }
}

void Diagram::fold(RecordView record, const FieldNames& names) {
    m_changes.fetch_add(1, std::memory_order_relaxed);
    for (const auto& filter : m_filters) {
        if (!matches(*filter, record, names)) return;
    }
    bool extracted = false;
    for (const auto& axis : m_axes) extracted |= extractValue(*axis, record, names);
    if (!extracted) return;
    groupKey(record, names, m_key);
    const std::size_t x = xIndex(m_key);
    for (const auto& axis : m_axes) accumulate(*axis, x);
}

void Diagram::reset() { clearData(); }

void Diagram::groupKey(RecordView record, const FieldNames& names, std::string& key) const {
    key.clear();
    for (const auto& group : m_groups) {
        key += '/';
        if (const auto value = group->extractFrom(record, names)) key += *value;
    }
}

std::size_t Diagram::xIndex(std::string_view key) { return m_labels.positionOf(key); }

int Diagram::clearData() {
    std::lock_guard lock(m_lock);
    clearDataLocked();
    requestCheckpoint();
    return 0;
}

void Diagram::clearDataLocked() {
    m_changes.fetch_add(1, std::memory_order_relaxed);
    m_recent.clear();
    m_labels.clear();
    for (const auto& axis : m_axes) axis->clearSlots();
}

ChartData Diagram::chartData() const {
    // Copied under the lock, formatted without it.
    DiagramData data = copyData(false);
    ChartData chart{data.xLabels.strings(), {}};
    chart.series.reserve(data.axes.size());
    for (const AxisData& axis : data.axes) chart.series.push_back(valueTexts(axis));
    return chart;
}

RecentTable Diagram::recentTable() const {
    const FieldNames names = fieldNames();  // before m_lock: it takes the source's lock
    RecentTable table;
    if (names.empty()) return table;
    std::lock_guard lock(m_lock);
    table.header = names;
    for (const auto& filter : m_filters) table.header.push_back(filter->name());
    table.header.push_back("Group");
    for (const auto& axis : m_axes) table.header.push_back(axis->name());
    m_recent.forEach([&](RecordView record) {
        // No more cells than field columns: a longer record kept from before the source's fields
        // changed would otherwise shift every later column. A shorter one stays short, so that
        // the pages can say the table no longer fits the records.
        std::vector<std::string> row(record.begin(),
                                     record.begin() + std::min(record.size(), names.size()));
        for (const auto& filter : m_filters)
            row.push_back(matches(*filter, record, names) ? "Y" : "N");
        std::string key;
        groupKey(record, names, key);
        row.push_back(std::move(key));
        for (const auto& axis : m_axes) {
            row.emplace_back(axis->extractFrom(record, names).value_or(std::string_view()));
        }
        table.rows.push_back(std::move(row));
    });
    return table;
}

int Diagram::rebuild(unsigned maxLines) {
    SourceHandle source = m_sources.acquire(dataSourceName());
    if (!source) return 0;
    // The source's lock first, as a delivery takes them: no record arrives meanwhile.
    auto delivery = source->holdDelivery();
    std::lock_guard lock(m_lock);
    clearDataLocked();
    const int replayed = source->replayBackup(this, maxLines);
    requestCheckpoint();
    return replayed;
}

}  // namespace tg
