#include "datasource/udp_transport.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <stdexcept>

#include "datasource/descriptor_wait.h"
#include "datasource/network_connect.h"
#include "datasource/system_error_text.h"

namespace tg {
namespace {

bool endsLine(char c) { return c == '\n' || c == '\r'; }

}  // namespace

void UdpTransport::open(const std::string& connect, const WakeEvent&) {
    const std::uint16_t port = parseUdpConnect(connect);
    m_owedLineEnd = false;
    UniqueFd socket(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!socket) throw std::runtime_error(systemErrorText(errno));
    const int wanted = kReceiveBufferBytes;
    // Beyond the system's cap only with the right to override it; else as much as allowed.
    if (::setsockopt(socket.get(), SOL_SOCKET, SO_RCVBUFFORCE, &wanted, sizeof wanted) != 0) {
        (void)::setsockopt(socket.get(), SOL_SOCKET, SO_RCVBUF, &wanted, sizeof wanted);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port);
    if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        throw std::runtime_error(systemErrorText(errno));
    }
    m_socket = std::move(socket);
}

void UdpTransport::close() {
    m_socket.reset();
    m_owedLineEnd = false;
}

std::size_t UdpTransport::receive(char* buffer, std::size_t size, const WakeEvent& wake) {
    if (m_owedLineEnd && size > 0) {
        m_owedLineEnd = false;
        buffer[0] = '\n';
        return 1;
    }
    // Read first and wait only when nothing is there (the reconnect loop sees a stop between
    // datagrams).
    for (;;) {
        // MSG_TRUNC: the datagram's whole length, so a longer one is known as such.
        const ssize_t got = ::recv(m_socket.get(), buffer, size, MSG_TRUNC);
        if (got < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                throw std::runtime_error(systemErrorText(errno));
            }
            if (waitForDescriptor(m_socket.get(), POLLIN, wake, std::nullopt) ==
                WaitResult::Woken) {
                return 0;
            }
            continue;
        }
        std::size_t length = static_cast<std::size_t>(got);
        if (length > size) throw std::runtime_error(systemErrorText(EMSGSIZE));
        if (length == 0) continue;
        if (m_datagramLines && !endsLine(buffer[length - 1])) {
            if (length < size) {
                buffer[length++] = '\n';
            } else {
                m_owedLineEnd = true;
            }
        }
        return length;
    }
}

int UdpTransport::receiveBufferBytes() const {
    int bytes = 0;
    socklen_t size = sizeof bytes;
    if (!m_socket || ::getsockopt(m_socket.get(), SOL_SOCKET, SO_RCVBUF, &bytes, &size) != 0) {
        return 0;
    }
    return bytes;
}

}  // namespace tg
