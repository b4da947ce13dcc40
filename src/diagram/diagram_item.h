#pragma once
// What filters, groups and y-axes share: a name, the field of the record they look at (found
// by name on first use and remembered), and the expression that takes their value from it.
// Guarded by the owning diagram's lock.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "datasource/record.h"
#include "regex/reg_exp.h"

namespace tg {

class DiagramItem {
public:
    explicit DiagramItem(std::string name) : m_name(std::move(name)) { setRegexp(""); }

    const std::string& name() const { return m_name; }
    void setName(std::string name) { m_name = std::move(name); }
    const std::string& field() const { return m_field; }
    // Forgets where the field was found.
    void setField(std::string_view field);
    const std::string& regexp() const { return m_regexp; }
    // An empty expression becomes ".*" (kept and stored as such) before it is compiled.
    void setRegexp(std::string_view regexp);
    // How the expression is compiled, now and by later setRegexp calls.
    void setRegExpOptions(RegExpOptions options);
    const RegExp& pattern() const { return m_pattern; }

    // The field's text in `record`; none when the field is not among `names` or lies
    // beyond the record's values. The position found is remembered and looked up again
    // whenever `names` no longer has the field there (another source, changed fields).
    std::optional<std::string_view> fieldText(RecordView record, const FieldNames& names) const;
    // The text the expression extracts from the field, a view into what `record` views; none
    // when the field is missing or nothing matched.
    std::optional<std::string_view> extractFrom(RecordView record, const FieldNames& names) const;

private:
    static constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

    std::string m_name;
    std::string m_field;
    std::string m_regexp;
    RegExp m_pattern;
    RegExpOptions m_options;
    mutable std::size_t m_fieldIndex = kNotFound;
};

}  // namespace tg
