#pragma once
// The kinds of data source, with the text forms the web pages and the desktop show and accept.

#include <cstdint>
#include <string_view>

namespace tg {

enum class SourceType : std::uint32_t {
    None = 0,  // no transport: a reader of this type ends at once
    File = 1,
    TcpIp = 2,
    Udp = 3,
    Odbc = 4,
    Com = 5,
};

// "FILE", "TCP/IP", "UDP", "ODBC", "COM"; the empty text for None and unknown codes.
std::string_view sourceTypeName(SourceType type);
// The whole text compared case-sensitively; anything else is None.
SourceType sourceTypeFromName(std::string_view text);
// A stored code as a type; codes outside 1..5 are kept as they are but have no name.
inline SourceType sourceTypeFromCode(std::uint32_t code) { return static_cast<SourceType>(code); }

}  // namespace tg
