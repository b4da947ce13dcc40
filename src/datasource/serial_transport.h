#pragma once
// The transport of a COM source: a serial port named by the connect string (serial_settings.h)
// read through termios. Reader thread only (or one thread trying the port).
//
// The port is opened exclusively (TIOCEXCL against other opens, and a lock that other programs
// which lock their ports see), made raw and given the settings; a setting the port does not
// take is an error naming it, and the port is closed before the error is raised. DTR and RTS
// are set as asked where the device has modem lines. Each wait for data is bounded by 1000 ms
// and ends at once when the source's wake-up is signalled. Closing drops DTR.

#include "datasource/reconnect_loop.h"
#include "datasource/serial_settings.h"
#include "platform/unique_fd.h"

namespace tg {

class SerialTransport : public Transport {
public:
    void open(const std::string& connect, const WakeEvent& wake) override;
    std::size_t receive(char* buffer, std::size_t size, const WakeEvent& wake) override;
    void close() override;

private:
    void configure(const SerialConnect& connect);

    UniqueFd m_port;
};

}  // namespace tg
