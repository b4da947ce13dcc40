#pragma once
// The transport of a UDP source: a receiver bound to "UDP:port" on every local IPv4 address.
// Reader thread only (or one thread trying the bind).
//
// Each datagram's bytes go on as they came, so a line may span datagrams. With `datagramLines`
// the end of each datagram also ends a line (senders such as syslog put one message in each
// datagram without a line end). A datagram longer than a receive (8191 bytes) is an error
// ("Message too long"): none of its bytes are passed on, and the source binds again. Empty
// datagrams carry nothing and are skipped.
//
// The receive buffer is asked for kReceiveBufferBytes, so a burst waits in the system while a
// slow diagram catches up; the system caps the request at net.core.rmem_max unless the process
// may override it (CAP_NET_ADMIN).

#include "datasource/reconnect_loop.h"
#include "platform/unique_fd.h"

namespace tg {

class UdpTransport : public Transport {
public:
    static constexpr int kReceiveBufferBytes = 4 * 1024 * 1024;

    explicit UdpTransport(bool datagramLines) : m_datagramLines(datagramLines) {}
    void open(const std::string& connect, const WakeEvent& wake) override;
    std::size_t receive(char* buffer, std::size_t size, const WakeEvent& wake) override;
    void close() override;

    // The bound socket's receive buffer in bytes as the system granted it (0 when closed).
    int receiveBufferBytes() const;

private:
    bool m_datagramLines;
    bool m_owedLineEnd = false;  // the last datagram filled a whole receive: its end is next
    UniqueFd m_socket;
};

}  // namespace tg
