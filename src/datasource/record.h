#pragma once
// A record: the field values of one log line, in the order of its source's field names.
// Listeners always receive a record together with the source's field names.

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tg {

using Record = std::vector<std::string>;
using FieldNames = std::vector<std::string>;

// A record's values as views: those a reader delivers lie in the bytes it read, so the values
// of a line are never copied unless a listener keeps them.
using RecordView = std::span<const std::string_view>;

// Views of a Record's values, for code that reads records as views.
class RecordViews {
public:
    explicit RecordViews(const Record& record) : m_views(record.begin(), record.end()) {}
    operator RecordView() const { return m_views; }

private:
    std::vector<std::string_view> m_views;
};

inline Record toRecord(RecordView record) { return Record(record.begin(), record.end()); }

// The texts of the error records that readers send to observers only.
inline constexpr const char* kParseErrorValue = "Parse Error:";
inline constexpr const char* kFieldCountError = "Error:Field quantity doesn't not match to RegExp";

}  // namespace tg
