#include "support/reserved_port.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "support/loopback_peer.h"

namespace tg::test {

ReservedPort::ReservedPort() : m_socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    const int on = 1;
    sockaddr_in address = loopbackAddress(0);
    socklen_t length = sizeof address;
    if (!m_socket || ::setsockopt(m_socket.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(m_socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(m_socket.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ADD_FAILURE() << "cannot reserve a loopback port: " << std::strerror(errno);
        return;
    }
    m_port = ntohs(address.sin_port);
}

}  // namespace tg::test
