#pragma once
// Answers a complete request: GET and HEAD of files below the content root (with redirects of
// folders to their default document), and template requests handed to the web application.
// Every answer is HTTP/1.0 without Content-Length; the connection's end ends it.
//
// Data addresses (DataRoutes: metrics, a diagram's data) need the chart page's rights.
// Guards: a request whose Host names another server is answered "421 Misdirected Request";
// an action sent by another site's page "403 Forbidden"; a HEAD never runs a page (it gets
// the template answer's head only); a change from another machine (or passed on by a proxy)
// while no account exists "403 Forbidden" with how to create one. Failed logins are counted per client address and
// written to the event log; repeated ones are answered late (LoginThrottle).
// Main thread only.

#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "http/data_route.h"
#include "http/login_throttle.h"
#include "http/media_types.h"
#include "http/request_origin.h"
#include "http/request.h"
#include "http/response.h"
#include "http/template_runner.h"
#include "http/url_mapping.h"
#include "platform/event_sink.h"

namespace tg {

class RequestProcessor : public RequestHandler {
public:
    using Clock = std::function<std::time_t()>;

    // Everything given must outlive the processor. `log` gets one line per template request.
    RequestProcessor(
        ContentRoot root, const MediaTypes& mediaTypes, TemplateRunner& pages, EventSink& log,
        Clock clock = [] { return std::time(nullptr); });

    void processRequest(const CRequest& request, Response& response) override;

    // Names and addresses the server answers to besides its own (see isOwnHost).
    void setAllowedHosts(std::vector<std::string> names) { m_names.allowed = std::move(names); }
    // Addresses answered with generated data before any file is looked for; null: none.
    // `routes` must outlive the processor.
    void setDataRoutes(DataRoutes* routes) { m_dataRoutes = routes; }

private:
    void answerMapping(const UrlMapping& mapping, Response& response) const;
    void sendFile(UrlMapping mapping, bool withBody, Response& response) const;
    void handleScriptRequest(const CRequest& request, const UrlMapping& mapping, bool runsPage,
                             Response& response);
    void handleTemplateRequest(const CRequest& request, const UrlMapping& mapping, bool runsPage,
                               Response& response);
    // Decides the access of a template request, counting failed logins of its client.
    Access checkAccess(const CRequest& request, TemplateVariables& variables,
                       Response& response);
    void answerDataRoute(const CRequest& request, std::string_view path, bool withBody,
                         Response& response);
    void answerWithText(std::string_view status, std::string_view text, Response& response) const;

    ContentRoot m_root;
    const MediaTypes& m_mediaTypes;
    TemplateRunner& m_pages;
    EventSink& m_log;
    Clock m_clock;
    ServerNames m_names;
    LoginThrottle m_throttle;
    DataRoutes* m_dataRoutes = nullptr;
};

}  // namespace tg
