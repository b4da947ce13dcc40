// Fuzzes the request reader: whatever the bytes and however they are cut into receives, the
// reader ends in the same state with the same request, and never uses more than it is given.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "http/request_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    tg::HttpLimits limits;
    limits.maxHeadBytes = 4096;
    limits.maxBodyBytes = 4096;
    tg::RequestReader whole(limits);
    if (whole.feed(input) > input.size()) std::abort();

    tg::RequestReader cut(limits);
    std::size_t at = 0;
    while (at < input.size() && !cut.done()) {
        const std::size_t piece = 1 + static_cast<unsigned char>(input[at]) % 13;
        const std::string_view part = input.substr(at, piece);
        if (cut.feed(part) > part.size()) std::abort();
        at += part.size();
    }
    if (whole.state() != cut.state()) std::abort();
    const tg::CRequest& a = whole.request();
    const tg::CRequest& b = cut.request();
    if (whole.done() && (a.method != b.method || a.url != b.url || a.headers != b.headers ||
                         a.body != b.body || a.parameterText != b.parameterText)) {
        std::abort();
    }
    return 0;
}
