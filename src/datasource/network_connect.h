#pragma once
// The connect strings of the network sources: "TCP:host:port" for a TCP client and
// "UDP:port" for a UDP receiver. Pure functions, any thread; the TCP and UDP transports and
// the checks of tgctl share them, so both refuse the same texts with the same message.
//
// The markers are found anywhere in the text (the first occurrence counts); the host runs from
// after "TCP:" to the next colon and has at least one character; a port is its leading decimal
// digits and must lie in 1..65535 (anything else would connect to or listen on a port nobody
// meant).

#include <cstdint>
#include <string>
#include <string_view>

namespace tg {

inline constexpr const char* kTcpUsage = "Connection string syntax error. Usage: TCP:host:port";
inline constexpr const char* kUdpUsage = "Connection string syntax error. Usage: UDP:port";

struct TcpConnect {
    std::string host;
    std::uint16_t port = 0;
};

// Throws std::runtime_error with kTcpUsage when the text does not have that form.
TcpConnect parseTcpConnect(std::string_view text);
// The local port; throws std::runtime_error with kUdpUsage when the text does not have that
// form.
std::uint16_t parseUdpConnect(std::string_view text);

}  // namespace tg
