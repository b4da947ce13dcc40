// The connect-string parsers of the TCP, UDP and COM sources on arbitrary bytes: no crash, no
// read past the input; every refusal is a runtime_error with a text, and what is accepted is
// consistent (a host without colons, a port in 1..65535, a serial device before the colon).
#include <termios.h>

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "datasource/network_connect.h"
#include "datasource/serial_settings.h"
#include "datasource/source_transport.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    try {
        const tg::TcpConnect tcp = tg::parseTcpConnect(input);
        check(!tcp.host.empty() && tcp.host.find(':') == std::string::npos && tcp.port != 0);
    } catch (const std::runtime_error& e) {
        check(std::string(e.what()) == tg::kTcpUsage);
    }
    try {
        check(tg::parseUdpConnect(input) != 0);
    } catch (const std::runtime_error& e) {
        check(std::string(e.what()) == tg::kUdpUsage);
    }
    try {
        const tg::SerialConnect serial = tg::parseSerialConnect(input);
        check(!serial.device.empty());
        termios attributes{};
        tg::applySerialSettings(serial.settings, attributes);
    } catch (const std::runtime_error& e) {
        check(*e.what() != '\0');
    }
    for (const tg::SourceType type :
         {tg::SourceType::TcpIp, tg::SourceType::Udp, tg::SourceType::Com}) {
        (void)tg::connectSyntaxError(type, input);
    }
    return 0;
}
