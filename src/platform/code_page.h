#pragma once
// The program's texts are bytes in the Windows-1252 code page; what goes to other programs
// (XML definitions, metrics, JSON, CSV) is UTF-8, and the chart script speaks UTF-16. This is
// the one table between them.
//
// The five bytes Windows-1252 leaves unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the
// control characters of the same number, as Windows converts them, so every byte has a
// character and every text of the program converts to UTF-8 and back unchanged.
//
// Pure; any thread.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tg {

// The UTF-16 code unit of a code page byte (every byte has one).
char16_t ansiToUnicode(unsigned char byte);
// The code page byte of a code point; none when the code page has no such character (for
// example U+4E00, or a lone surrogate).
std::optional<unsigned char> unicodeToAnsi(char32_t code);

// Appends the UTF-8 form of a character of the Basic Multilingual Plane (every character the
// code page has).
void appendUtf8Character(std::string& out, char16_t code);
// The length of the valid UTF-8 sequence at text[at] (its lead byte 0x80 or above); 0 when
// there is none (overlong forms, surrogates, beyond U+10FFFF, cut short).
std::size_t utf8SequenceLength(std::string_view text, std::size_t at);

// Strict conversions, for files that must read back exactly. None when the text holds a NUL
// byte; fromUtf8 also when it is not valid UTF-8 or holds a character the code page has no
// byte for. Nothing is ever substituted.
std::optional<std::string> codePageToUtf8(std::string_view text);
std::optional<std::string> utf8ToCodePage(std::string_view text);

}  // namespace tg
