#include "datasource/tcp_transport.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <stdexcept>

#include "datasource/descriptor_wait.h"
#include "datasource/network_connect.h"
#include "datasource/system_error_text.h"

namespace tg {
namespace {

struct AddrInfoFree {
    void operator()(addrinfo* list) const { ::freeaddrinfo(list); }
};
using AddrInfoList = std::unique_ptr<addrinfo, AddrInfoFree>;

// Thrown when a stop ends a connect: never reported, since the source is stopping.
class Stopped : public std::runtime_error {
public:
    Stopped() : std::runtime_error("The connection was stopped.") {}
};

int seconds(std::chrono::seconds value) { return static_cast<int>(value.count()); }

}  // namespace

void TcpTransport::open(const std::string& connect, const WakeEvent& wake) {
    const TcpConnect target = parseTcpConnect(connect);
    int error = 0;
    sockaddr_in ipv4{};
    ipv4.sin_family = AF_INET;
    ipv4.sin_port = htons(target.port);
    if (::inet_pton(AF_INET, target.host.c_str(), &ipv4.sin_addr) == 1) {
        m_socket = connectTo(reinterpret_cast<const sockaddr*>(&ipv4), sizeof ipv4, AF_INET,
                             wake, error);
        if (!m_socket) throw std::runtime_error(systemErrorText(error));
        return;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(target.port);
    const int rc = ::getaddrinfo(target.host.c_str(), port.c_str(), &hints, &found);
    if (rc != 0) {
        throw std::runtime_error(rc == EAI_SYSTEM ? systemErrorText(errno) : ::gai_strerror(rc));
    }
    const AddrInfoList addresses(found);
    for (const addrinfo* address = found; address; address = address->ai_next) {
        m_socket = connectTo(address->ai_addr, address->ai_addrlen, address->ai_family, wake,
                             error);
        if (m_socket) return;
    }
    throw std::runtime_error(systemErrorText(error));
}

UniqueFd TcpTransport::connectTo(const sockaddr* address, unsigned length, int family,
                                 const WakeEvent& wake, int& error) {
    UniqueFd socket(::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!socket) {
        error = errno;
        return {};
    }
    if (::connect(socket.get(), address, length) != 0) {
        if (errno != EINPROGRESS) {
            error = errno;
            return {};
        }
        switch (waitForDescriptor(socket.get(), POLLOUT, wake, m_options.connectLimit)) {
            case WaitResult::Woken:
                throw Stopped();
            case WaitResult::TimedOut:
                error = ETIMEDOUT;
                return {};
            case WaitResult::Ready:
                break;
        }
        socklen_t size = sizeof error;
        if (::getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
        if (error != 0) return {};
    }
    keepAlive(socket.get());
    return socket;
}

void TcpTransport::keepAlive(int fd) const {
    const int on = 1;
    const int idle = seconds(m_options.keepIdle);
    const int interval = seconds(m_options.keepInterval);
    const int count = m_options.keepCount;
    // Without them the connection still works; it only waits longer for a vanished server.
    (void)::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    (void)::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    (void)::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    (void)::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
}

void TcpTransport::close() {
    m_socket.reset();
    m_start = m_end = 0;  // bytes of a connection that failed: the error ended them
}

std::size_t TcpTransport::receive(char* buffer, std::size_t size, const WakeEvent& wake) {
    // Read first and wait only when nothing is there; the reconnect loop sees a stop between
    // pieces.
    while (m_start == m_end) {
        const ssize_t got = ::recv(m_socket.get(), m_received.data(), m_received.size(), 0);
        if (got == 0) return 0;  // the server closed in order
        if (got > 0) {
            m_start = 0;
            m_end = static_cast<std::size_t>(got);
            break;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            throw std::runtime_error(systemErrorText(errno));
        }
        if (waitForDescriptor(m_socket.get(), POLLIN, wake, std::nullopt) == WaitResult::Woken) {
            return 0;
        }
    }
    const std::size_t piece = std::min(size, m_end - m_start);
    std::copy_n(m_received.data() + m_start, piece, buffer);
    m_start += piece;
    return piece;
}

}  // namespace tg
