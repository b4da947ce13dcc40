#pragma once
// The escaping behind every template variable whose name ends in ESCAPED. Bytes outside ASCII
// are read in the program's code page (platform/code_page.h, whose two character functions
// the chart script and DecodeArgValue use as well). Pure; any thread.

#include <string>
#include <string_view>

#include "platform/code_page.h"

namespace tg {

// Letters A-Z and a-z stay; every other byte from 0x01 to 0x7F becomes "%" and its value in
// two upper-case hexadecimal digits ("%20", a tab "%09"); a byte 0x00 or from 0x80 up becomes
// "%u" and the four upper-case hexadecimal digits of its code page character ("é" gives
// "%u00E9"). The result holds only letters, digits and "%", so it is safe in HTML and inside a
// JavaScript string, and JavaScript's unescape() and DecodeArgValue read every byte back.
std::string escapeForScript(std::string_view text);

}  // namespace tg
