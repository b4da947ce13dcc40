#include "http/request_processor.h"

#include <strings.h>

#include "http/basic_auth.h"
#include "http/response_head.h"

namespace tg {
namespace {

bool sameWord(std::string_view a, std::string_view b) {
    return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool isHtml(std::string_view path) {
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.rfind('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) {
        return false;
    }
    return sameWord(path.substr(dot + 1), "html");
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

}  // namespace

bool isForeignAction(const CRequest& request, std::string_view action) {
    if (action.empty()) return false;
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

RequestProcessor::RequestProcessor(ContentRoot root, const MediaTypes& mediaTypes,
                                   TemplateRunner& pages, EventSink& log, Clock clock)
    : m_root(std::move(root)),
      m_mediaTypes(mediaTypes),
      m_pages(pages),
      m_log(log),
      m_clock(std::move(clock)) {}

void RequestProcessor::processRequest(const CRequest& request, Response& response) {
    const std::time_t now = m_clock();
    const auto url = decodeUrl(request.url);
    if (!url) {
        appendStatusOnly(response.head, kStatusBadRequest, now);
        return;
    }
    const bool get = sameWord(request.method, "GET");
    const bool head = sameWord(request.method, "HEAD");
    const bool post = sameWord(request.method, "POST");
    // Redirects name the server as the client did, so that they lead where the request came
    // in (a loopback-only server, a name behind a proxy); the machine's own name otherwise.
    ContentRoot root = m_root;
    if (const auto host = parseHostHeader(request.header("host"))) {
        root.hostName = host->first;
        root.port = host->second;
    }
    if ((get || head) && request.contentLength == 0) {
        const UrlMapping mapping = mapUrlToFile(root, *url, request.execKind);
        if (mapping.status != 0) {
            answerMapping(mapping, response);
        } else if (mapping.execKind != ExecKind::None || (get && isHtml(mapping.filePath))) {
            // A HEAD of a plain ".html" file gets the file's head, not a page.
            handleScriptRequest(request, mapping, response);
        } else {
            sendFile(mapping, get, response);
        }
    } else if (post && request.contentLength > 0) {
        const UrlMapping mapping = mapUrlToFile(root, *url, ExecKind::Parameters);
        if (mapping.status != 0) {
            answerMapping(mapping, response);
        } else {
            handleScriptRequest(request, mapping, response);
        }
    } else {
        appendStatusOnly(response.head, kStatusNotImplemented, now);
    }
}

void RequestProcessor::answerMapping(const UrlMapping& mapping, Response& response) const {
    if (mapping.status == kStatusRedirect) {
        startResponse(response.head, statusText(kStatusRedirect), m_clock());
        addHeader(response.head, "Location", mapping.location);
        response.head += "\r\n";
    } else {
        appendStatusOnly(response.head, mapping.status, m_clock());
    }
}

void RequestProcessor::sendFile(const UrlMapping& mapping, bool withBody,
                                Response& response) const {
    FileToSend file = openForSending(mapping, m_mediaTypes);
    if (file.status != 0) {
        appendStatusOnly(response.head, file.status, m_clock());
        return;
    }
    startResponse(response.head, statusText(kStatusOk), m_clock());
    if (file.mediaType) addHeader(response.head, "Content-type", *file.mediaType);
    addHeader(response.head, "Expires", "0");
    response.head += "\r\n";
    if (withBody) response.file = std::move(file.fd);
}

void RequestProcessor::handleScriptRequest(const CRequest& request, const UrlMapping& mapping,
                                           Response& response) {
    if (mapping.execKind == ExecKind::Library) {
        appendStatusOnly(response.head, kStatusNotImplemented, m_clock());
    } else if (mapping.hidden) {
        appendStatusOnly(response.head, kStatusForbidden, m_clock());  // as for plain files
    } else {
        handleTemplateRequest(request, mapping, response);
    }
}

void RequestProcessor::handleTemplateRequest(const CRequest& request, const UrlMapping& mapping,
                                             Response& response) {
    TemplateVariables variables = m_pages.variablesFor(request.parameterText, mapping.filePath);
    if (const auto credentials = getBasicCredentialsFromHeaders(request.headers)) {
        variables["LOGIN"] = credentials->userName;
        variables["PASSWORD"] = credentials->password;
    }
    int status = kStatusOk;
    if (isForeignAction(request, variables["action"])) {
        status = kStatusForbidden;
    } else if (!m_pages.checkAccess(variables)) {
        status = kStatusUnauthorized;
    } else if (m_pages.findPageName(variables["TEMPLATE_NAME"]) == "404") {
        status = kStatusNotFound;
    }
    startResponse(response.head, statusText(status), m_clock());
    addHeader(response.head, kAuthenticateHeader, kBasicChallenge);
    addHeader(response.head, "Expires", "0");
    std::string body;
    if (status == kStatusOk) m_pages.runPage(variables, body);
    response.head += "\r\n";
    response.head += body;
    m_log.writeLog(variables["TEMPLATE_PATHNAME"], variables["LOGIN"]);
}

}  // namespace tg
