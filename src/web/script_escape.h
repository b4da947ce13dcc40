#pragma once
// The escaping behind every template variable whose name ends in ESCAPED, and the single-byte
// code page (Windows-1252, through glibc iconv) that it and DecodeArgValue use for bytes
// outside ASCII.
//
// Any thread: the code page table is built once, on first use, and only read after that.

#include <optional>
#include <string>
#include <string_view>

namespace tg {

// Letters A-Z and a-z stay; every other byte from 0x01 to 0x7F becomes "%" and its value in
// two upper-case hexadecimal digits ("%20", a tab "%09"); a byte 0x00 or from 0x80 up becomes
// "%u" and the four upper-case hexadecimal digits of its code page character ("é" gives
// "%u00E9"). The result holds only letters, digits and "%", so it is safe in HTML and inside a
// JavaScript string, and JavaScript's unescape() and DecodeArgValue read every byte back.
std::string escapeForScript(std::string_view text);

// The UTF-16 code unit of a code page byte. Windows-1252 leaves 0x81, 0x8D, 0x8F, 0x90 and 0x9D
// undefined; like Windows, they stand for the control characters of the same number.
char16_t ansiToUnicode(unsigned char byte);
// The code page byte of a UTF-16 code unit; none when the code page has no such character
// (for example U+4E00, or a lone surrogate).
std::optional<unsigned char> unicodeToAnsi(char16_t unit);

}  // namespace tg
