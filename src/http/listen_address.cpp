#include "http/listen_address.h"

#include <netdb.h>
#include <netinet/in.h>

#include <cstring>
#include <memory>

#include "http/net_address.h"

namespace tg {
namespace {

struct AddrInfoFree {
    void operator()(addrinfo* list) const { ::freeaddrinfo(list); }
};

bool isAny(const sockaddr* address) {
    if (address->sa_family == AF_INET) {
        return reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr == INADDR_ANY;
    }
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
    return std::memcmp(&v6->sin6_addr, &in6addr_any, sizeof in6addr_any) == 0;
}

}  // namespace

std::optional<ListenAddress> resolveListenAddress(std::string_view text, std::uint16_t port,
                                                  std::string& error) {
    std::string host(text);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    if (host.empty()) {
        error = "no address given";
        return std::nullopt;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    const std::string service = std::to_string(port);
    addrinfo* found = nullptr;
    const int result = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (result != 0) {
        error = ::gai_strerror(result);
        return std::nullopt;
    }
    const std::unique_ptr<addrinfo, AddrInfoFree> list(found);
    const addrinfo* chosen = nullptr;
    for (const addrinfo* entry = list.get(); entry; entry = entry->ai_next) {
        if (entry->ai_family != AF_INET && entry->ai_family != AF_INET6) continue;
        if (entry->ai_addrlen > sizeof(sockaddr_storage)) continue;
        if (!chosen || (chosen->ai_family != AF_INET && entry->ai_family == AF_INET)) {
            chosen = entry;
        }
    }
    if (!chosen) {
        error = "no IPv4 or IPv6 address";
        return std::nullopt;
    }
    ListenAddress address;
    std::memcpy(&address.address, chosen->ai_addr, chosen->ai_addrlen);
    address.length = chosen->ai_addrlen;
    address.family = chosen->ai_family;
    address.anyAddress = isAny(chosen->ai_addr);
    address.loopback = isLoopbackAddress(numericAddress(chosen->ai_addr, chosen->ai_addrlen));
    return address;
}

}  // namespace tg
