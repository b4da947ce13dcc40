#include "web/script_escape.h"

#include <iconv.h>

#include <array>
#include <memory>
#include <type_traits>

namespace tg {

namespace {

constexpr const char* kCodePage = "WINDOWS-1252";

struct IconvClose {
    void operator()(iconv_t cd) const { ::iconv_close(cd); }
};
// iconv_t is a pointer type in glibc; the owner holds what it points to.
using Iconv = std::unique_ptr<std::remove_pointer_t<iconv_t>, IconvClose>;

Iconv openIconv(const char* to, const char* from) {
    const iconv_t cd = ::iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
    return Iconv(cd);
}

// One code page byte as a UTF-16 code unit; none when iconv cannot convert it.
std::optional<char16_t> convertByte(const Iconv& toUnicode, unsigned char byte) {
    char in[1] = {static_cast<char>(byte)};
    unsigned char out[4] = {};
    char* inPtr = in;
    char* outPtr = reinterpret_cast<char*>(out);
    std::size_t inLeft = sizeof in;
    std::size_t outLeft = sizeof out;
    ::iconv(toUnicode.get(), nullptr, nullptr, nullptr, nullptr);  // initial state
    if (::iconv(toUnicode.get(), &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) ||
        inLeft != 0 || sizeof out - outLeft != 2) {
        return std::nullopt;
    }
    return static_cast<char16_t>(out[0] | (out[1] << 8));
}

// Byte to code unit for all 256 bytes, converted through iconv once. Without iconv's code
// page module (a stripped system) the bytes stand for the Latin-1 characters of the same
// number, which differ from Windows-1252 only in 0x80 to 0x9F.
std::array<char16_t, 256> buildTable() {
    std::array<char16_t, 256> table{};
    const Iconv toUnicode = openIconv("UTF-16LE", kCodePage);
    for (unsigned b = 0; b < table.size(); ++b) {
        std::optional<char16_t> unit;
        if (toUnicode) unit = convertByte(toUnicode, static_cast<unsigned char>(b));
        table[b] = unit.value_or(static_cast<char16_t>(b));
    }
    return table;
}

const std::array<char16_t, 256>& codePageTable() {
    static const std::array<char16_t, 256> table = buildTable();
    return table;
}

constexpr char kHexDigits[] = "0123456789ABCDEF";

}  // namespace

char16_t ansiToUnicode(unsigned char byte) { return codePageTable()[byte]; }

std::optional<unsigned char> unicodeToAnsi(char16_t unit) {
    const std::array<char16_t, 256>& table = codePageTable();
    if (unit < table.size() && table[unit] == unit) return static_cast<unsigned char>(unit);
    for (unsigned b = 0x80; b < table.size(); ++b) {
        if (table[b] == unit) return static_cast<unsigned char>(b);
    }
    return std::nullopt;
}

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
