// The Host, Origin, Referer and Sec-Fetch-Site checks on arbitrary header values: no crash, a
// parsed Host holds only name characters and a port in range, and a Host that is refused is
// never taken for this server's by a later part of the input.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "http/request_origin.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    // Fields separated by LF: host, origin, referer, sec-fetch-site, local address.
    std::string_view fields[5];
    std::string_view rest = input;
    for (std::string_view& field : fields) {
        const std::size_t end = rest.find('\n');
        field = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }
    if (const auto host = tg::parseHostHeader(fields[0])) {
        check(!host->first.empty() && host->first.size() <= 255);
        check(host->second >= 1 && host->second <= 65535);
        check(host->first.find_first_of("\r\n\t /@#?") == std::string::npos);
    }
    tg::CRequest request;
    request.headers["host"] = std::string(fields[0]);
    request.headers["origin"] = std::string(fields[1]);
    request.headers["referer"] = std::string(fields[2]);
    request.headers["sec-fetch-site"] = std::string(fields[3]);
    request.localAddress = std::string(fields[4]);
    (void)tg::isForeignAction(request, "delete");
    check(!tg::isForeignAction(request, ""));
    const tg::ServerNames names{"tg-host", tg::splitHostList(fields[1])};
    const bool own = tg::isOwnHost(request, names);
    if (!fields[0].empty() && !tg::parseHostHeader(fields[0])) check(!own);
    return 0;
}
