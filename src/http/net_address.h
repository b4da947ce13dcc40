#pragma once
// Socket addresses as numeric texts, for deciding who a client is and which names and
// addresses belong to this server. Plain functions; any thread.
//
// Texts are what inet_ntop writes: "192.0.2.7", "2001:db8::1". An IPv4 client on an IPv6
// socket ("::ffff:192.0.2.7") is written as its IPv4 address, so that one client has one text.

#include <sys/socket.h>

#include <string>
#include <string_view>

namespace tg {

// The numeric text of a socket address; empty for anything but IPv4 and IPv6.
std::string numericAddress(const sockaddr* address, socklen_t length);
// The address of the peer, or of this end, of a connected socket; empty when unknown.
std::string peerAddressOf(int socket);
std::string localAddressOf(int socket);

// Whether the text is an IP address in 127.0.0.0/8 or ::1 (also written "[::1]").
bool isLoopbackAddress(std::string_view text);
// Whether two address texts name the same address ("[::1]" and "0:0::1" do).
bool sameAddress(std::string_view a, std::string_view b);
// Whether the text is an IPv4 or IPv6 literal (IPv6 with or without brackets).
bool isAddressLiteral(std::string_view text);

}  // namespace tg
