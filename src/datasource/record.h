#pragma once
// A record: the field values of one log line, in the order of its source's field names.
// Listeners always receive a record together with the source's field names.

#include <string>
#include <vector>

namespace tg {

using Record = std::vector<std::string>;
using FieldNames = std::vector<std::string>;

// The texts of the error records that readers send to observers only.
inline constexpr const char* kParseErrorValue = "Parse Error:";
inline constexpr const char* kFieldCountError = "Error:Field quantity doesn't not match to RegExp";

}  // namespace tg
