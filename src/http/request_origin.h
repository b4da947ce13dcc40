#pragma once
// Where a request comes from and whom it is for: the checks that keep pages of other sites
// from acting with the user's rights. Pure functions over the request; main thread.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "http/request.h"

namespace tg {

// The name and port of a "Host" header ("name", "name:port", "[v6]:port"); empty when the
// text is anything else, so that nothing odd reaches a Location header.
std::optional<std::pair<std::string, unsigned>> parseHostHeader(std::string_view host);

// Whether a template request that carries an action (one that changes something) was sent by a
// page of another site. A browser that holds the user's credentials, or a server without
// accounts, would otherwise carry out a delete or reset that any web page asked for.
// A browser's own "Sec-Fetch-Site" decides when present: "cross-site" and "same-site" are
// foreign, "same-origin" and "none" (typed, bookmarked) are not. Without it, the Origin, or
// else the Referer, must name the host and port of the Host header. Requests with none of
// these headers (tools such as curl) and requests without an action are never foreign.
bool isForeignAction(const CRequest& request, std::string_view action);

// The names a server answers to, beside loopback addresses and "localhost".
struct ServerNames {
    std::string hostName;               // the machine's name
    std::vector<std::string> allowed;   // names and addresses an administrator added; "*": any
};

// Whether the request's Host header names this server: no Host at all (HTTP/1.0 clients);
// "localhost", the machine's name or an allowed name, in any letter case; a loopback address,
// the address the connection came in on, or an allowed address. Anything else (a page of
// another site whose name was made to point here, "DNS rebinding") is not answered.
bool isOwnHost(const CRequest& request, const ServerNames& names);

// An AllowedHosts text ("a.example, b.example:8080") as a list of names, ports dropped.
std::vector<std::string> splitHostList(std::string_view text);

}  // namespace tg
