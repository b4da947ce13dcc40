#include "datasource/network_connect.h"

#include <stdexcept>

namespace tg {
namespace {

// The value of the leading digits; 0 when there are none or the value is no port.
std::uint16_t portOf(std::string_view text) {
    std::uint32_t value = 0;
    std::size_t digits = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') break;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
        if (value > 65535) return 0;
        ++digits;
    }
    return digits == 0 ? 0 : static_cast<std::uint16_t>(value);
}

}  // namespace

TcpConnect parseTcpConnect(std::string_view text) {
    const std::size_t marker = text.find("TCP:");
    if (marker == std::string_view::npos) throw std::runtime_error(kTcpUsage);
    const std::size_t hostStart = marker + 4;
    // The colon search starts one past the host's start: the host has at least one character.
    const std::size_t colon = text.find(':', hostStart + 1);
    if (colon == std::string_view::npos) throw std::runtime_error(kTcpUsage);
    TcpConnect connect;
    connect.host.assign(text.substr(hostStart, colon - hostStart));
    connect.port = portOf(text.substr(colon + 1));
    if (connect.host.find(':') != std::string::npos || connect.port == 0) {
        throw std::runtime_error(kTcpUsage);
    }
    return connect;
}

std::uint16_t parseUdpConnect(std::string_view text) {
    const std::size_t marker = text.find("UDP:");
    if (marker == std::string_view::npos) throw std::runtime_error(kUdpUsage);
    const std::uint16_t port = portOf(text.substr(marker + 4));
    if (port == 0) throw std::runtime_error(kUdpUsage);
    return port;
}

}  // namespace tg
