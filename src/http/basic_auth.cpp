#include "http/basic_auth.h"

#include <array>
#include <cstdint>

namespace tg {

namespace {

constexpr std::uint8_t kNotBase64 = 0xff;

constexpr std::array<std::uint8_t, 256> makeDecodeTable() {
    std::array<std::uint8_t, 256> table{};
    table.fill(kNotBase64);
    constexpr std::string_view alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (std::size_t i = 0; i < alphabet.size(); ++i) {
        table[static_cast<unsigned char>(alphabet[i])] = static_cast<std::uint8_t>(i);
    }
    return table;
}

constexpr std::array<std::uint8_t, 256> kDecodeTable = makeDecodeTable();

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string decodeBase64(std::string_view text) {
    std::string out;
    out.reserve(text.size() / 4 * 3 + 2);
    std::uint32_t bits = 0;  // the current group's sextets, oldest first
    int count = 0;           // alphabet characters in the current group
    for (char c : text) {
        const std::uint8_t sextet = kDecodeTable[static_cast<unsigned char>(c)];
        if (sextet == kNotBase64) continue;
        bits = (bits << 6) | sextet;
        if (++count == 4) {
            out += static_cast<char>((bits >> 16) & 0xff);
            out += static_cast<char>((bits >> 8) & 0xff);
            out += static_cast<char>(bits & 0xff);
            bits = 0;
            count = 0;
        }
    }
    // A short last group: two characters carry one byte, three carry two; the low bits left
    // over are padding. A single character carries no whole byte.
    if (count == 2) {
        out += static_cast<char>((bits >> 4) & 0xff);
    } else if (count == 3) {
        out += static_cast<char>((bits >> 10) & 0xff);
        out += static_cast<char>((bits >> 2) & 0xff);
    }
    return out;
}

std::optional<BasicCredentials> getBasicCredentials(std::string_view authorization) {
    // The scheme word before the first blank is not looked at.
    const std::size_t blank = authorization.find(' ');
    if (blank == std::string_view::npos) return std::nullopt;
    std::string decoded = decodeBase64(authorization.substr(blank + 1));
    // The decoded bytes count as text up to their first zero byte.
    const std::size_t zero = decoded.find('\0');
    if (zero != std::string::npos) decoded.resize(zero);
    const std::size_t colon = decoded.find(':');
    if (colon == std::string::npos) return std::nullopt;
    return BasicCredentials{decoded.substr(0, colon), decoded.substr(colon + 1)};
}

bool isAuthorizationHeader(std::string_view name) {
    constexpr std::string_view kName = "authorization";
    if (name.size() != kName.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (asciiLower(name[i]) != kName[i]) return false;
    }
    return true;
}

}  // namespace tg
