#pragma once
// The other end of a network source in tests, on 127.0.0.1: a TCP server to accept the
// source's connections, a UDP sender, and looks into the system's socket tables to learn when
// the source has bound its port or is waiting for a connection. Every wait is bounded (20 s).

#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string_view>

#include "platform/unique_fd.h"

namespace tg::test {

// 127.0.0.1:port, for bind, connect and sendto.
sockaddr_in loopbackAddress(std::uint16_t port);

// Listens on 127.0.0.1:port (SO_REUSEADDR, so a ReservedPort's port serves); fails the test
// when it cannot.
UniqueFd listenLoopback(std::uint16_t port, int backlog = 4);
// The next connection to `listener`; empty after 20 s without one.
UniqueFd acceptWithin(int listener);

// A UDP port nobody was bound to a moment ago.
std::uint16_t freeUdpPort();
void sendDatagram(std::uint16_t port, std::string_view bytes);

// Whether a UDP socket of this host is bound to `port`.
bool udpPortBound(std::uint16_t port);
// Whether a TCP socket of this host is waiting for its connect to `port` to be answered.
bool connectingTo(std::uint16_t port);

// Asks `condition` until it holds, for at most `bound`.
bool eventually(const std::function<bool()>& condition,
                std::chrono::seconds bound = std::chrono::seconds(20));

}  // namespace tg::test
