#include "support/loopback_client.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include "support/loopback_peer.h"

namespace tg::test {

UniqueFd connectLoopback(std::uint16_t port) {
    UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in address = loopbackAddress(port);
    EXPECT_EQ(::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address),
              0);
    timeval bound{20, 0};
    ::setsockopt(socket.get(), SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
    return socket;
}

void sendAll(int socket, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = ::send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        ASSERT_GT(sent, 0);
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
}

std::string readToEnd(int socket) {
    std::string all;
    char buffer[65536];
    for (ssize_t got; (got = ::recv(socket, buffer, sizeof buffer, 0)) > 0;) {
        all.append(buffer, static_cast<std::size_t>(got));
    }
    return all;
}

std::string exchange(std::uint16_t port, std::string_view request) {
    const UniqueFd socket = connectLoopback(port);
    sendAll(socket.get(), request);
    return readToEnd(socket.get());
}

std::string bodyOf(const std::string& answer) {
    const std::size_t end = answer.find("\r\n\r\n");
    return end == std::string::npos ? "" : answer.substr(end + 4);
}

}  // namespace tg::test
