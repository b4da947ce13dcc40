#include "support/loopback_peer.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace tg::test {
namespace {

constexpr std::chrono::seconds kBound{20};

// Whether a line of /proc/net/tcp or /proc/net/udp matches: the port of the address in column
// `addressColumn` (1 local, 2 remote) and, when `state` is not empty, the state.
bool socketTableHas(const char* table, int addressColumn, std::uint16_t port,
                    const std::string& state) {
    std::ifstream file(table);
    std::string line;
    std::getline(file, line);  // the heading
    while (std::getline(file, line)) {
        std::istringstream words(line);
        std::string slot, local, remote, found;
        words >> slot >> local >> remote >> found;
        const std::string& address = addressColumn == 1 ? local : remote;
        const std::size_t colon = address.find(':');
        if (colon == std::string::npos) continue;
        if (std::stoul(address.substr(colon + 1), nullptr, 16) != port) continue;
        if (state.empty() || found == state) return true;
    }
    return false;
}

}  // namespace

sockaddr_in loopbackAddress(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

UniqueFd listenLoopback(std::uint16_t port, int backlog) {
    UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const int on = 1;
    ::setsockopt(socket.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in address = loopbackAddress(port);
    EXPECT_EQ(::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(::listen(socket.get(), backlog), 0);
    return socket;
}

UniqueFd acceptWithin(int listener) {
    pollfd ready{listener, POLLIN, 0};
    if (::poll(&ready, 1, static_cast<int>(kBound.count() * 1000)) != 1) return {};
    return UniqueFd(::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC));
}

std::uint16_t freeUdpPort() {
    UniqueFd socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_in address = loopbackAddress(0);
    socklen_t size = sizeof address;
    if (::bind(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(socket.get(), reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        ADD_FAILURE() << "no free UDP port";
        return 0;
    }
    return ntohs(address.sin_port);
}

void sendDatagram(std::uint16_t port, std::string_view bytes) {
    UniqueFd socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    const sockaddr_in address = loopbackAddress(port);
    EXPECT_EQ(::sendto(socket.get(), bytes.data(), bytes.size(), 0,
                       reinterpret_cast<const sockaddr*>(&address), sizeof address),
              static_cast<ssize_t>(bytes.size()));
}

bool udpPortBound(std::uint16_t port) { return socketTableHas("/proc/net/udp", 1, port, ""); }

bool connectingTo(std::uint16_t port) {
    return socketTableHas("/proc/net/tcp", 2, port, "02");  // SYN_SENT
}

bool eventually(const std::function<bool()>& condition, std::chrono::seconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace tg::test
