#pragma once
// The program keeps text in the Windows-1252 code page (log lines, names, labels); what goes
// out as UTF-8 (metrics, JSON, CSV) is converted with a fixed table. Every byte converts, so
// different texts never come out equal: the five bytes the code page leaves undefined become
// the C1 control characters of the same number, as Windows converts them. Pure; any thread.

#include <string>
#include <string_view>

namespace tg {

// Appends `text` converted to UTF-8.
void appendUtf8(std::string& out, std::string_view text);
std::string windows1252ToUtf8(std::string_view text);

}  // namespace tg
