#include "http/request_processor.h"

#include <strings.h>

#include <string>

#include "http/basic_auth.h"
#include "http/net_address.h"
#include "http/response_head.h"

namespace tg {
namespace {

constexpr std::string_view kMisdirected = "421 Misdirected Request";
constexpr std::string_view kUnknownHostText =
    "This server does not answer to the name in the request's Host header.\n"
    "Its administrator can allow the name: tgctl settings set AllowedHosts NAME\n";
constexpr std::string_view kNeedsAccountText =
    "This server has no user accounts, so it accepts changes only from the machine it runs "
    "on.\nCreate an account with edit permission there: tgctl user add NAME --edit\n";

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

}  // namespace

RequestProcessor::RequestProcessor(ContentRoot root, const MediaTypes& mediaTypes,
                                   TemplateRunner& pages, EventSink& log, Clock clock)
    : m_root(std::move(root)),
      m_mediaTypes(mediaTypes),
      m_pages(pages),
      m_log(log),
      m_clock(std::move(clock)),
      m_names{m_root.hostName, {}} {}

void RequestProcessor::processRequest(const CRequest& request, Response& response) {
    const std::time_t now = m_clock();
    if (!isOwnHost(request, m_names)) {
        answerWithText(kMisdirected, sameWord(request.method, "HEAD") ? "" : kUnknownHostText,
                       response);
        return;
    }
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
    if ((get || head) && request.contentLength == 0 && m_dataRoutes && m_dataRoutes->serves(*url)) {
        answerDataRoute(request, *url, get, response);
    } else if ((get || head) && request.contentLength == 0) {
        UrlMapping mapping = mapUrlToFile(root, *url, request.execKind);
        if (mapping.status != 0) {
            answerMapping(mapping, response);
        } else if (mapping.execKind != ExecKind::None || (get && isHtml(mapping.filePath))) {
            // A HEAD of a plain ".html" file gets the file's head, not a page; a HEAD with
            // parameters gets a template answer's head, and its page (its action) never runs.
            handleScriptRequest(request, mapping, get, response);
        } else {
            sendFile(std::move(mapping), get, response);
        }
    } else if (post && request.contentLength > 0) {
        const UrlMapping mapping = mapUrlToFile(root, *url, ExecKind::Parameters);
        if (mapping.status != 0) {
            answerMapping(mapping, response);
        } else {
            handleScriptRequest(request, mapping, true, response);
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

void RequestProcessor::sendFile(UrlMapping mapping, bool withBody, Response& response) const {
    FileToSend file = openForSending(std::move(mapping), m_mediaTypes);
    if (file.status != 0) {
        appendStatusOnly(response.head, file.status, m_clock());
        return;
    }
    startResponse(response.head, statusText(kStatusOk), m_clock());
    if (file.mediaType) addHeader(response.head, "Content-type", *file.mediaType);
    addHeader(response.head, "Expires", "0");
    response.head += "\r\n";
    if (withBody) {
        response.file = std::move(file.fd);
        response.fileSize = file.size;
    }
}

void RequestProcessor::answerWithText(std::string_view status, std::string_view text,
                                      Response& response) const {
    startResponse(response.head, status, m_clock());
    addHeader(response.head, "Content-type", "text/plain");
    addHeader(response.head, "Expires", "0");
    response.head += "\r\n";
    response.head += text;
}

void RequestProcessor::handleScriptRequest(const CRequest& request, const UrlMapping& mapping,
                                           bool runsPage, Response& response) {
    if (mapping.execKind == ExecKind::Library) {
        appendStatusOnly(response.head, kStatusNotImplemented, m_clock());
    } else if (mapping.hidden) {
        appendStatusOnly(response.head, kStatusForbidden, m_clock());  // as for plain files
    } else {
        handleTemplateRequest(request, mapping, runsPage, response);
    }
}

Access RequestProcessor::checkAccess(const CRequest& request, TemplateVariables& variables,
                                     Response& response) {
    // A proxy on this machine connects from loopback for clients anywhere: what it forwards
    // is not this machine's own request.
    const bool forwarded = !request.header("forwarded").empty() ||
                           !request.header("x-forwarded-for").empty() ||
                           !request.header("x-real-ip").empty();
    const RequestClient client{isLoopbackAddress(request.peerAddress) && !forwarded};
    if (!variables.count("LOGIN")) return m_pages.CheckAccess(variables, client);
    const std::string& peer = request.peerAddress;
    const auto now = LoginThrottle::Clock::now();
    if (const auto held = m_throttle.holdFor(peer, now); held.count() > 0) {
        // Held back after failed logins: the credentials are not even looked at, and a
        // refusal comes no sooner than the wait's end.
        TemplateVariables anonymous = variables;
        anonymous.erase("LOGIN");
        anonymous.erase("PASSWORD");
        const Access access = m_pages.CheckAccess(anonymous, client);
        if (!isGranted(access)) response.delay = held;
        return access;
    }
    const Access access = m_pages.CheckAccess(variables, client);
    if (access == Access::BadLogin) {
        response.delay = m_throttle.failed(peer, now);
        m_log.writeLog("Failed login from " + (peer.empty() ? std::string("?") : peer),
                       variables["LOGIN"]);
    } else if (access == Access::LoggedIn) {
        m_throttle.succeeded(peer);
    }
    return access;
}

void RequestProcessor::answerDataRoute(const CRequest& request, std::string_view path,
                                       bool withBody, Response& response) {
    // The rights of the chart page: what these addresses give out is what the chart shows.
    TemplateVariables variables{{"TEMPLATE_NAME", "show"}, {"action", ""}};
    if (const auto credentials = getBasicCredentialsFromHeaders(request.headers)) {
        variables["LOGIN"] = credentials->userName;
        variables["PASSWORD"] = credentials->password;
    }
    if (!isGranted(checkAccess(request, variables, response))) {
        startResponse(response.head, statusText(kStatusUnauthorized), m_clock());
        addHeader(response.head, kAuthenticateHeader, kBasicChallenge);
        response.head += "\r\n";
    } else {
        DataAnswer answer = m_dataRoutes->answer(request, path);
        startResponse(response.head, statusText(answer.status), m_clock());
        if (!answer.contentType.empty()) {
            addHeader(response.head, "Content-type", answer.contentType);
        }
        if (!answer.disposition.empty()) {
            addHeader(response.head, "Content-Disposition", answer.disposition);
        }
        addHeader(response.head, "Expires", "0");
        response.head += "\r\n";
        if (withBody && answer.stream) {
            response.body = std::move(answer.stream);
        } else if (withBody) {
            response.head += answer.body;
        }
    }
    m_log.writeLog(path, variables["LOGIN"]);
}

void RequestProcessor::handleTemplateRequest(const CRequest& request, const UrlMapping& mapping,
                                             bool runsPage, Response& response) {
    // The template is read from the path with its links resolved: a link inside the root leads
    // to its page as it does to a static file, and none can be swapped in after mapping.
    const std::string& templatePath =
        mapping.realPath.empty() ? mapping.filePath : mapping.realPath;
    TemplateVariables variables = m_pages.variablesFor(request.parameterText, templatePath);
    if (const auto credentials = getBasicCredentialsFromHeaders(request.headers)) {
        variables["LOGIN"] = credentials->userName;
        variables["PASSWORD"] = credentials->password;
    }
    const bool foreign = isForeignAction(request, variables["action"]);
    const Access access = foreign ? Access::Refused : checkAccess(request, variables, response);
    int status = kStatusOk;
    if (foreign || access == Access::NeedsAccount) {
        status = kStatusForbidden;
    } else if (!isGranted(access)) {
        status = kStatusUnauthorized;
    } else if (m_pages.FindPageName(variables["TEMPLATE_NAME"]) == "404") {
        status = kStatusNotFound;
    }
    startResponse(response.head, statusText(status), m_clock());
    addHeader(response.head, kAuthenticateHeader, kBasicChallenge);
    addHeader(response.head, "Expires", "0");
    std::string body;
    if (access == Access::NeedsAccount) {
        addHeader(response.head, "Content-type", "text/plain");
        body = kNeedsAccountText;
    } else if (status == kStatusOk && runsPage) {
        m_pages.RunPage(variables, body);
    }
    response.head += "\r\n";
    if (runsPage) response.head += body;
    m_log.writeLog(variables["TEMPLATE_PATHNAME"], variables["LOGIN"]);
}

}  // namespace tg
