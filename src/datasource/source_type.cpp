#include "datasource/source_type.h"

namespace tg {

std::string_view sourceTypeName(SourceType type) {
    switch (type) {
        case SourceType::File:
            return "FILE";
        case SourceType::TcpIp:
            return "TCP/IP";
        case SourceType::Udp:
            return "UDP";
        case SourceType::Odbc:
            return "ODBC";
        case SourceType::Com:
            return "COM";
        case SourceType::None:
            break;
    }
    return {};
}

SourceType sourceTypeFromName(std::string_view text) {
    // Same order as the lookups of the stored definitions: FILE, ODBC, COM, TCP/IP, UDP.
    if (text == "FILE") return SourceType::File;
    if (text == "ODBC") return SourceType::Odbc;
    if (text == "COM") return SourceType::Com;
    if (text == "TCP/IP") return SourceType::TcpIp;
    if (text == "UDP") return SourceType::Udp;
    return SourceType::None;
}

}  // namespace tg
