#include "datasource/source_transport.h"

#include <termios.h>

#include <stdexcept>

#include "datasource/data_source.h"
#include "datasource/file_reader.h"
#include "datasource/network_connect.h"
#include "datasource/odbc/odbc_reader.h"
#include "datasource/serial_settings.h"
#include "datasource/serial_transport.h"
#include "datasource/tcp_transport.h"
#include "datasource/transport_reader.h"
#include "datasource/udp_transport.h"

namespace tg {
namespace {

// A try of a connection gives up on a host that does not answer after this long.
constexpr std::chrono::seconds kTryConnectLimit{10};

std::unique_ptr<SourceReader> readerOf(DataSource& source, std::unique_ptr<Transport> transport) {
    return std::make_unique<TransportReader>(source, std::move(transport));
}

}  // namespace

std::unique_ptr<SourceReader> makeSourceReader(DataSource& source, SourceType type) {
    switch (type) {
        case SourceType::File:
            return std::make_unique<FileReader>(source);
        case SourceType::Odbc:
            return std::make_unique<OdbcReader>(source);
        case SourceType::TcpIp:
            return readerOf(source, std::make_unique<TcpTransport>());
        case SourceType::Udp:
            return readerOf(source, std::make_unique<UdpTransport>(source.datagramLines()));
        case SourceType::Com:
            return readerOf(source, std::make_unique<SerialTransport>());
        default:
            return nullptr;
    }
}

bool testTransport(SourceType type, std::string& text) {
    switch (type) {
        case SourceType::Odbc:
            return testOdbcConnection(text);
        case SourceType::TcpIp: {
            TcpTransport transport(TcpOptions{kTryConnectLimit});
            return tryTransport(transport, text);
        }
        case SourceType::Udp: {
            UdpTransport transport(false);
            return tryTransport(transport, text);
        }
        case SourceType::Com: {
            SerialTransport transport;
            return tryTransport(transport, text);
        }
        default:
            return true;  // a file is tried by reading it; other kinds have nothing to try
    }
}

std::string connectSyntaxError(SourceType type, const std::string& text) {
    try {
        switch (type) {
            case SourceType::TcpIp:
                (void)parseTcpConnect(text);
                break;
            case SourceType::Udp:
                (void)parseUdpConnect(text);
                break;
            case SourceType::Com: {
                termios attributes{};
                applySerialSettings(parseSerialConnect(text).settings, attributes);
                break;
            }
            default:
                break;
        }
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return {};
}

}  // namespace tg
