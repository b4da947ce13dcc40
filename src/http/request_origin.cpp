#include "http/request_origin.h"

#include <strings.h>

#include "http/net_address.h"

namespace tg {
namespace {

bool sameWord(std::string_view a, std::string_view b) {
    return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// Whether a host[:port] text names its port (an IPv6 literal's colons are inside brackets).
bool namesPort(std::string_view authority) {
    const std::size_t bracket = authority.rfind(']');
    return authority.find(':', bracket == std::string_view::npos ? 0 : bracket) !=
           std::string_view::npos;
}

// The host and port of an absolute http or https URL ("https://name/x" gives "name", 443);
// empty for anything else, "null" included.
std::optional<std::pair<std::string, unsigned>> urlHost(std::string_view url) {
    const std::size_t scheme = url.find("://");
    if (scheme == std::string_view::npos) return std::nullopt;
    const bool https = sameWord(url.substr(0, scheme), "https");
    if (!https && !sameWord(url.substr(0, scheme), "http")) return std::nullopt;
    std::string_view authority = url.substr(scheme + 3);
    authority = authority.substr(0, authority.find_first_of("/?#"));
    auto host = parseHostHeader(authority);
    if (host && https && !namesPort(authority)) host->second = 443;
    return host;
}

// A fully qualified name may end in a dot ("localhost.").
std::string_view withoutRootDot(std::string_view name) {
    return name.size() > 1 && name.back() == '.' ? name.substr(0, name.size() - 1) : name;
}

}  // namespace

std::optional<std::pair<std::string, unsigned>> parseHostHeader(std::string_view host) {
    std::string_view name = host;
    unsigned port = 80;
    const std::size_t colon = host.rfind(':');
    const std::size_t bracket = host.rfind(']');
    if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
        const std::string_view digits = host.substr(colon + 1);
        if (digits.empty() || digits.size() > 5) return std::nullopt;
        port = 0;
        for (char c : digits) {
            if (c < '0' || c > '9') return std::nullopt;
            port = port * 10 + static_cast<unsigned>(c - '0');
        }
        if (port == 0 || port > 65535) return std::nullopt;
        name = host.substr(0, colon);
    }
    if (name.empty() || name.size() > 255) return std::nullopt;
    const bool literal6 = name.front() == '[' && name.back() == ']' && name.size() > 2;
    for (std::size_t i = literal6 ? 1 : 0; i < name.size() - (literal6 ? 1 : 0); ++i) {
        const char c = name[i];
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                             (c >= '0' && c <= '9') || c == '-' || c == '.' ||
                             (literal6 && c == ':');
        if (!allowed) return std::nullopt;
    }
    return std::make_pair(std::string(name), port);
}

bool isForeignAction(const CRequest& request, std::string_view action) {
    if (action.empty()) return false;
    const std::string site = request.header("sec-fetch-site");
    if (!site.empty()) return sameWord(site, "cross-site") || sameWord(site, "same-site");
    std::string origin = request.header("origin");
    if (origin.empty()) origin = request.header("referer");
    if (origin.empty()) return false;  // not sent by a browser page: nothing to compare
    const auto from = urlHost(origin);
    const std::string hostHeader = request.header("host");
    const auto host = parseHostHeader(hostHeader);
    if (!from || !host || !sameWord(from->first, host->first)) return true;
    // A Host without a port names the server's default one, which a proxy in front may have
    // changed (https on 443 to us on 80): then the name alone decides.
    return namesPort(hostHeader) && from->second != host->second;
}

bool isOwnHost(const CRequest& request, const ServerNames& names) {
    const auto hostHeader = request.headers.find("host");
    if (hostHeader == request.headers.end() || hostHeader->second.empty()) return true;
    const auto host = parseHostHeader(hostHeader->second);
    if (!host) return false;
    const std::string_view name = withoutRootDot(host->first);
    for (const std::string& allowed : names.allowed) {
        if (allowed == "*") return true;
    }
    if (isAddressLiteral(name)) {
        if (isLoopbackAddress(name) || sameAddress(name, request.localAddress)) return true;
        for (const std::string& allowed : names.allowed) {
            if (sameAddress(name, allowed)) return true;
        }
        return false;
    }
    if (sameWord(name, "localhost") || sameWord(name, withoutRootDot(names.hostName))) {
        return true;
    }
    for (const std::string& allowed : names.allowed) {
        if (sameWord(name, withoutRootDot(allowed))) return true;
    }
    return false;
}

std::vector<std::string> splitHostList(std::string_view text) {
    std::vector<std::string> names;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        std::string_view entry = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        while (!entry.empty() && (entry.front() == ' ' || entry.front() == '\t')) {
            entry.remove_prefix(1);
        }
        while (!entry.empty() && (entry.back() == ' ' || entry.back() == '\t')) {
            entry.remove_suffix(1);
        }
        if (entry == "*") {
            names.emplace_back(entry);
        } else if (const auto host = parseHostHeader(entry)) {
            names.push_back(host->first);
        }
    }
    return names;
}

}  // namespace tg
