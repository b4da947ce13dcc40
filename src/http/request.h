#pragma once
// One HTTP/1.0 request as the connection reads it: the request line's parts, the headers (names
// in lower case; a repeated header keeps its last value) and the body. One per connection;
// main thread only.

#include <cstddef>
#include <map>
#include <string>

namespace tg {

// How a request is to be answered, beside plain files.
enum class ExecKind : int {
    None = 0,        // a plain file
    Parameters = 1,  // the target had a "?", or the method is POST
    Script = 2,      // an extension of the script list: handed to the web application
    Library = 4,     // "dll": not implemented
};

struct CRequest {
    std::string method;   // as sent; compared without regard to case
    std::string url;      // the target without its parameter text, not yet decoded
    std::string version;  // stored, not interpreted
    std::map<std::string, std::string> headers;
    std::string body;
    std::size_t contentLength = 0;
    std::string parameterText;  // after the first "?", not decoded
    ExecKind execKind = ExecKind::None;
    // The two ends of the connection as numeric addresses (http/net_address.h), set by the
    // connection; empty when unknown.
    std::string peerAddress;
    std::string localAddress;

    // The header's value ("" when absent); `name` in any letter case.
    std::string header(std::string name) const;
};

}  // namespace tg
