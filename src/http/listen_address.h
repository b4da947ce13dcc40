#pragma once
// The address the web server listens on, from the text an administrator gave (--bind): an
// IPv4 address ("0.0.0.0": every IPv4 address), an IPv6 address with or without brackets
// ("::": every address, IPv4 included), or a host name such as "localhost". A name with
// several addresses gives its first IPv4 address, else its first address: the server has one
// listening socket. Any thread; a name may wait for the resolver.

#include <sys/socket.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tg {

struct ListenAddress {
    sockaddr_storage address{};
    socklen_t length = 0;
    int family = 0;
    bool anyAddress = false;  // "0.0.0.0" or "::"
    bool loopback = false;    // only clients of this machine can connect
};

// The address for `port`; none with `error` saying why when the text names no usable address.
[[nodiscard]] std::optional<ListenAddress> resolveListenAddress(std::string_view text, std::uint16_t port,
                                                  std::string& error);

}  // namespace tg
