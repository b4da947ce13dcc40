#include "web/script_escape.h"

namespace tg {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

}  // namespace

std::string escapeForScript(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 3);
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z')) {
            out += c;
        } else if (byte >= 0x01 && byte <= 0x7F) {
            // Always two digits: a single one ("%9" for a tab) would take in the next byte
            // when read back ("%9A" is 0x9A), turning a tab and "A" into one other character.
            out += '%';
            out += kHexDigits[byte >> 4];
            out += kHexDigits[byte & 0x0F];
        } else {
            const char16_t unit = ansiToUnicode(byte);
            out += "%u";
            for (int shift = 12; shift >= 0; shift -= 4) out += kHexDigits[(unit >> shift) & 0x0F];
        }
    }
    return out;
}

}  // namespace tg
