#include "platform/code_page.h"

#include <cstdint>

namespace tg {
namespace {

// The characters of 0x80..0x9F; the rest of the code page is Latin-1.
// clang-format off
constexpr std::uint16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};
// clang-format on

// The code point of the valid sequence of `length` bytes at text[at].
char32_t decode(std::string_view text, std::size_t at, std::size_t length) {
    const auto lead = static_cast<unsigned char>(text[at]);
    char32_t code = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        code = (code << 6) | (static_cast<unsigned char>(text[at + k]) & 0x3F);
    }
    return code;
}

}  // namespace

void appendUtf8Character(std::string& out, char16_t code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
        return;
    }
    if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    }
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
}

char16_t ansiToUnicode(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : byte;
}

std::optional<unsigned char> unicodeToAnsi(char32_t code) {
    if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) return static_cast<unsigned char>(code);
    for (unsigned byte = 0x80; byte < 0xA0; ++byte) {
        if (kHighControls[byte - 0x80] == code) return static_cast<unsigned char>(byte);
    }
    return std::nullopt;
}

std::size_t utf8SequenceLength(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 0;
    unsigned char low = 0x80;  // the range of the second byte
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() - at < length) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[at + k]);
        if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) return 0;
    }
    return length;
}

std::optional<std::string> codePageToUtf8(std::string_view text) {
    if (text.find('\0') != std::string_view::npos) return std::nullopt;
    std::string out;
    out.reserve(text.size());
    for (const char c : text)
        appendUtf8Character(out, ansiToUnicode(static_cast<unsigned char>(c)));
    return out;
}

std::optional<std::string> utf8ToCodePage(std::string_view text) {
    if (text.find('\0') != std::string_view::npos) return std::nullopt;
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        if (static_cast<unsigned char>(text[at]) < 0x80) {
            out += text[at++];
            continue;
        }
        const std::size_t length = utf8SequenceLength(text, at);
        if (length == 0) return std::nullopt;
        const std::optional<unsigned char> byte = unicodeToAnsi(decode(text, at, length));
        if (!byte) return std::nullopt;
        out += static_cast<char>(*byte);
        at += length;
    }
    return out;
}

}  // namespace tg
