#include "http/net_address.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <array>
#include <charconv>
#include <cstring>
#include <optional>

namespace tg {
namespace {

// An address as IPv6 bytes (IPv4 as ::ffff:a.b.c.d); none when the text is no literal.
std::optional<std::array<unsigned char, 16>> parse(std::string_view text) {
    if (text.size() > 2 && text.front() == '[' && text.back() == ']') {
        text = text.substr(1, text.size() - 2);
    }
    if (text.empty() || text.size() >= INET6_ADDRSTRLEN) return std::nullopt;
    const std::string copy(text);
    std::array<unsigned char, 16> bytes{};
    in_addr v4{};
    if (::inet_pton(AF_INET, copy.c_str(), &v4) == 1) {
        bytes[10] = bytes[11] = 0xff;
        std::memcpy(bytes.data() + 12, &v4, 4);
        return bytes;
    }
    if (::inet_pton(AF_INET6, copy.c_str(), bytes.data()) == 1) return bytes;
    return std::nullopt;
}

bool isMappedV4(const unsigned char* bytes) {
    static const unsigned char prefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    return std::memcmp(bytes, prefix, sizeof prefix) == 0;
}

// "a.b.c.d" of four address bytes; inet_ntop would run printf for every connection.
std::string dottedQuad(const unsigned char* bytes) {
    char text[16];
    char* end = text;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) *end++ = '.';
        end = std::to_chars(end, text + sizeof text, bytes[i]).ptr;
    }
    return std::string(text, end);
}

}  // namespace

std::string numericAddress(const sockaddr* address, socklen_t length) {
    if (address->sa_family == AF_INET && length >= static_cast<socklen_t>(sizeof(sockaddr_in))) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
        return dottedQuad(reinterpret_cast<const unsigned char*>(&v4->sin_addr));
    }
    if (address->sa_family == AF_INET6 &&
        length >= static_cast<socklen_t>(sizeof(sockaddr_in6))) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
        const unsigned char* bytes = v6->sin6_addr.s6_addr;
        if (isMappedV4(bytes)) return dottedQuad(bytes + 12);
        char text[INET6_ADDRSTRLEN] = {};
        if (::inet_ntop(AF_INET6, bytes, text, sizeof text)) return text;
    }
    return {};
}

std::string peerAddressOf(int socket) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getpeername(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) return {};
    return numericAddress(reinterpret_cast<sockaddr*>(&address), length);
}

std::string localAddressOf(int socket) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) return {};
    return numericAddress(reinterpret_cast<sockaddr*>(&address), length);
}

bool isLoopbackAddress(std::string_view text) {
    const auto bytes = parse(text);
    if (!bytes) return false;
    if (isMappedV4(bytes->data())) return (*bytes)[12] == 127;
    static const unsigned char loopback6[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    return std::memcmp(bytes->data(), loopback6, 16) == 0;
}

bool sameAddress(std::string_view a, std::string_view b) {
    const auto first = parse(a);
    return first && first == parse(b);
}

bool isAddressLiteral(std::string_view text) { return parse(text).has_value(); }

}  // namespace tg
