#pragma once
// What the HTTP server asks of the web application for a template request (a GET of an
// ".html" file, or a request with parameters or a body on a script file). The web
// application's page dispatcher implements it; tests of the server fake it.
// Main thread, one request at a time.

#include <map>
#include <string>
#include <string_view>

namespace tg {

using TemplateVariables = std::map<std::string, std::string>;

// What the server knows of a client beyond its request variables.
struct RequestClient {
    bool loopback = false;  // connected from this machine (127.0.0.0/8, ::1)
};

// The access rule's verdict on one template request.
enum class Access {
    Granted,       // the page needs no login, or no account exists
    LoggedIn,      // granted to the request's user name and password
    Refused,       // 401: no credentials, or an account without the rights the page needs
    BadLogin,      // 401: the user name and password match no account
    NeedsAccount,  // 403: a change from another machine while no account exists
};

inline bool isGranted(Access access) {
    return access == Access::Granted || access == Access::LoggedIn;
}

class TemplateRunner {
public:
    virtual ~TemplateRunner() = default;
    // The request's variables from its parameter text (not yet decoded) and the template's
    // full path: the parameters, "action" (empty when absent), TEMPLATE_NAME, TEMPLATE_PATH,
    // TEMPLATE_PATHNAME.
    virtual TemplateVariables variablesFor(std::string_view parameterText,
                                           std::string_view templatePath) = 0;
    // Anything but Granted or LoggedIn: no page runs.
    [[nodiscard]] virtual Access CheckAccess(const TemplateVariables& request,
                                             const RequestClient& client) = 0;
    // The page of a template name; "404" is answered "404 Not Found" without running a page.
    virtual std::string FindPageName(std::string_view templateName) = 0;
    // The response body of a request that may run its page.
    virtual void RunPage(TemplateVariables& request, std::string& body) = 0;
};

}  // namespace tg
