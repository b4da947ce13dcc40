#pragma once
// Text goes out as UTF-8 (metrics, JSON, CSV) whatever the program holds: names typed into
// the web pages arrive as UTF-8, log lines and older stores hold the Windows-1252 code page.
// As in the chart script, a valid UTF-8 sequence stays as it is and every other byte is read
// as Windows-1252 (the five bytes the code page leaves undefined become the C1 control
// characters of the same number, as Windows converts them). The result is always valid UTF-8.
// Pure; any thread.

#include <string>
#include <string_view>

namespace tg {

// Appends `text` as UTF-8.
void appendUtf8(std::string& out, std::string_view text);
std::string toUtf8(std::string_view text);

}  // namespace tg
