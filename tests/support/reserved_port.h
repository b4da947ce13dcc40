#pragma once
// A loopback TCP port held for one test's server, so no other test can take it between the
// choice and the server's start, nor while the server is down between two starts.
//
// The port stays bound (SO_REUSEADDR, never listening) for the lifetime of the object. The
// kernel then hands it to nobody asking for any free port, for listening or as a client's
// own port, and refuses it to a bind without SO_REUSEADDR; a server that sets SO_REUSEADDR
// (ours does) binds and listens on it as usual, one at a time.

#include <cstdint>

#include "platform/unique_fd.h"

namespace tg::test {

class ReservedPort {
public:
    ReservedPort();  // fails the calling test when no port can be had
    std::uint16_t port() const { return m_port; }

private:
    UniqueFd m_socket;
    std::uint16_t m_port = 0;
};

}  // namespace tg::test
