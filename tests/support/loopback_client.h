#pragma once
// A blocking client on 127.0.0.1 for tests of servers: connects, sends, and reads until the
// server closes. Every receive is bounded (20 s), so a hung server fails the test.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/unique_fd.h"

namespace tg::test {

UniqueFd connectLoopback(std::uint16_t port);
void sendAll(int socket, std::string_view bytes);
// Everything the server sends until it closes the connection.
std::string readToEnd(int socket);
// Sends `request` on a new connection and returns the whole answer.
std::string exchange(std::uint16_t port, std::string_view request);
// What follows the head of an HTTP answer; empty when it has no end of head.
std::string bodyOf(const std::string& answer);

}  // namespace tg::test
