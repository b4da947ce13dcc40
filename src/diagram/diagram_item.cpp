#include "diagram/diagram_item.h"

#include <algorithm>

namespace tg {

void DiagramItem::setField(std::string_view field) {
    m_field.assign(field);
    m_fieldIndex = kNotFound;
}

void DiagramItem::setRegexp(std::string_view regexp) {
    m_regexp.assign(regexp.empty() ? std::string_view(".*") : regexp);
    m_pattern.compile(m_regexp, m_options);
}

void DiagramItem::setRegExpOptions(RegExpOptions options) {
    if (options.engine == m_options.engine) return;
    m_options = options;
    m_pattern.compile(m_regexp, m_options);
}

std::optional<std::string_view> DiagramItem::fieldText(RecordView record,
                                                      const FieldNames& names) const {
    // The remembered position holds only while it still names the field: the diagram may
    // have moved to another source, or its source's fields may have changed.
    if (m_fieldIndex >= names.size() || names[m_fieldIndex] != m_field) {
        const auto it = std::find(names.begin(), names.end(), m_field);
        if (it == names.end()) {
            m_fieldIndex = kNotFound;
            return std::nullopt;
        }
        m_fieldIndex = static_cast<std::size_t>(it - names.begin());
    }
    // A record with fewer values than names: never read past it.
    if (m_fieldIndex >= record.size()) return std::nullopt;
    return record[m_fieldIndex];
}

std::optional<std::string_view> DiagramItem::extractFrom(RecordView record,
                                                        const FieldNames& names) const {
    const std::optional<std::string_view> text = fieldText(record, names);
    if (!text) return std::nullopt;
    return m_pattern.extractView(*text);
}

}  // namespace tg
