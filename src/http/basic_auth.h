#pragma once
// HTTP Basic credentials: the "Authorization" header's value decoded into a user name and a
// password, and the challenge that template answers carry. Pure functions over their input;
// any thread.
//
// The scheme word before the first blank is not checked (any scheme is decoded as Basic),
// and decoding skips every character outside the base64 alphabet, so no header is ever an
// error: a value that yields no user name and password counts as no credentials.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tg {

// The challenge header of every template answer.
inline constexpr std::string_view kAuthenticateHeader = "WWW-Authenticate";
inline constexpr std::string_view kBasicChallenge = "Basic realm=\"Tessellgrove\"";

struct BasicCredentials {
    std::string userName;  // never holds ':'
    std::string password;  // may hold ':' and may be empty
    bool operator==(const BasicCredentials&) const = default;
};

// Base64 of RFC 4648 (A-Z a-z 0-9 + /). Every other character, "=" and white space
// included, is skipped. Each four alphabet characters give three bytes; a last two or three
// give one or two bytes; a last single one gives nothing. Never fails.
std::string decodeBase64(std::string_view text);

// From the value of an "Authorization" header: none when the value has no blank, or when
// the decoded text (up to its first zero byte) has no ':'.
[[nodiscard]] std::optional<BasicCredentials> getBasicCredentials(std::string_view authorization);

// Whether a header name is "Authorization", without regard to ASCII case.
bool isAuthorizationHeader(std::string_view name);

// From a request's header list: any range of (name, value) pairs, such as a map from
// header name to value. Uses the first header named "Authorization" in any letter case.
template <typename Headers>
[[nodiscard]] std::optional<BasicCredentials> getBasicCredentialsFromHeaders(const Headers& headers) {
    for (const auto& [name, value] : headers) {
        if (isAuthorizationHeader(name)) return getBasicCredentials(value);
    }
    return std::nullopt;
}

}  // namespace tg
