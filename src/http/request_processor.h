#pragma once
// Answers a complete request: GET and HEAD of files below the content root (with redirects of
// folders to their default document), and template requests handed to the web application.
// Every answer is HTTP/1.0 without Content-Length; the connection's end ends it.
// Main thread only.

#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "datasource/event_sink.h"
#include "http/media_types.h"
#include "http/request.h"
#include "http/response.h"
#include "http/template_runner.h"
#include "http/url_mapping.h"

namespace tg {

// The name and port of a "Host" header ("name", "name:port", "[v6]:port"); empty when the
// text is anything else, so that nothing odd reaches a Location header.
std::optional<std::pair<std::string, unsigned>> parseHostHeader(std::string_view host);

// Whether a template request that carries an action (one that changes something) was sent by a
// page of another site: its Origin, or else its Referer, names another host or port than its
// Host header. A browser that holds the user's credentials would otherwise carry out a delete
// or reset that any web page asked for. Requests without either header (tools such as curl)
// and requests without an action are never foreign.
bool isForeignAction(const CRequest& request, std::string_view action);

class RequestProcessor : public RequestHandler {
public:
    using Clock = std::function<std::time_t()>;

    // Everything given must outlive the processor. `log` gets one line per template request.
    RequestProcessor(
        ContentRoot root, const MediaTypes& mediaTypes, TemplateRunner& pages, EventSink& log,
        Clock clock = [] { return std::time(nullptr); });

    void processRequest(const CRequest& request, Response& response) override;

private:
    void answerMapping(const UrlMapping& mapping, Response& response) const;
    void sendFile(const UrlMapping& mapping, bool withBody, Response& response) const;
    void handleScriptRequest(const CRequest& request, const UrlMapping& mapping,
                             Response& response);
    void handleTemplateRequest(const CRequest& request, const UrlMapping& mapping,
                               Response& response);

    ContentRoot m_root;
    const MediaTypes& m_mediaTypes;
    TemplateRunner& m_pages;
    EventSink& m_log;
    Clock m_clock;
};

}  // namespace tg
