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

}  // namespace

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
    if ((get || head) && request.contentLength == 0) {
        const UrlMapping mapping = mapUrlToFile(m_root, *url, request.execKind);
        if (mapping.status != 0) {
            answerMapping(mapping, response);
        } else if (mapping.execKind != ExecKind::None || (get && isHtml(mapping.filePath))) {
            // A HEAD of a plain ".html" file gets the file's head, not a page.
            handleScriptRequest(request, mapping, response);
        } else {
            sendFile(mapping, get, response);
        }
    } else if (post && request.contentLength > 0) {
        const UrlMapping mapping = mapUrlToFile(m_root, *url, ExecKind::Parameters);
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
    if (!m_pages.checkAccess(variables)) {
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
