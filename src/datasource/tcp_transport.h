#pragma once
// The transport of a TCP/IP source: a client that connects to "TCP:host:port" and reads the
// server's stream. Reader thread only (or one thread trying a connection).
//
// A dotted IPv4 address is used as it is; any other host is resolved (IPv4 and IPv6) and each
// address is tried in order; the error of the last one is reported. The connect waits beside
// the source's wake-up, so a stop ends it at once, also towards a host that never answers.
// Resolution itself cannot be interrupted: a stop waits for it (the resolver's time-outs, a
// few seconds per server in resolv.conf).
//
// Keep-alive probes after a quiet minute find a server that vanished without closing: the
// receive then fails ("Connection timed out", or a reset) and the source reconnects.

#include <chrono>
#include <optional>
#include <vector>

#include "datasource/reconnect_loop.h"
#include "platform/unique_fd.h"

struct sockaddr;

namespace tg {

struct TcpOptions {
    // How long one connect may take; none: as long as the system keeps trying (minutes).
    std::optional<std::chrono::milliseconds> connectLimit;
    // Keep-alive: quiet time before the first probe, time between probes, probes unanswered
    // before the connection counts as dead.
    std::chrono::seconds keepIdle{30};
    std::chrono::seconds keepInterval{10};
    int keepCount = 3;
};

class TcpTransport : public Transport {
public:
    explicit TcpTransport(TcpOptions options = {}) : m_options(options) {}
    void open(const std::string& connect, const WakeEvent& wake) override;
    std::size_t receive(char* buffer, std::size_t size, const WakeEvent& wake) override;
    void close() override;

private:
    // Connects to one address: the socket, or none with `error` set.
    UniqueFd connectTo(const ::sockaddr* address, unsigned length, int family,
                       const WakeEvent& wake, int& error);
    void keepAlive(int fd) const;

    TcpOptions m_options;
    UniqueFd m_socket;
    // Received and not yet handed out: one call to the system takes up to 64 KiB, so a busy
    // stream costs few calls however small the pieces handed out.
    std::vector<char> m_received = std::vector<char>(64 * 1024);
    std::size_t m_start = 0;
    std::size_t m_end = 0;
};

}  // namespace tg
