#pragma once
// Page dispatch: what the HTTP server calls, through its TemplateRunner, for a template request
// (a file whose extension is "html"). The server gets the request variables from
// variablesFor, adds LOGIN and PASSWORD from Basic credentials, asks CheckAccess, answers
// "404" when FindPageName gives "404", and otherwise calls RunPage for the response body.
//
// Everything here runs on the HTTP server's thread, one request at a time.

#include <memory>
#include <string>
#include <string_view>

#include "http/account_store.h"
#include "http/template_runner.h"
#include "web/page.h"
#include "web/page_factory.h"
#include "web/template_engine.h"

namespace tg {

// The HTTP server's TemplateRunner (http/template_runner.h) over the process-wide page
// factory and accounts, which must outlive it.
class PageDispatcher : public TemplateRunner {
public:
    PageDispatcher(const PageFactory& pages, AccountStore& accounts)
        : m_pages(pages), m_accounts(accounts) {}

    // The request variables of a template request before its credentials: the parameters
    // (ParseQueryArgs), "action" (empty when absent), then TEMPLATE_NAME, TEMPLATE_PATH and
    // TEMPLATE_PATHNAME of the template's local path, replacing parameters of these names.
    RequestVariables variablesFor(std::string_view parameterText,
                                  std::string_view templatePath) override;
    // Whether the request may run its page. Without a LOGIN entry, a level is granted exactly
    // when no account exists, and then Edit (every change) only to a loopback client: a server
    // without accounts must not let the whole network change it (NeedsAccount). With a LOGIN
    // entry, authenticate(LOGIN, PASSWORD) must give ViewOnly or EditPermission for View,
    // EditPermission for Edit (LoggedIn); a pair that matches no account is BadLogin, too few
    // rights Refused. LOGIN and PASSWORD are the request's Basic credentials or, without
    // those, parameters of these names. The level is requiredAccessLevel's.
    [[nodiscard]] Access CheckAccess(const RequestVariables& request,
                                     const RequestClient& client) override;
    // The page name of a template: the name itself.
    std::string FindPageName(std::string_view templateName) override;
    // Creates the page for TEMPLATE_NAME and fills its template into `body`. When a page that
    // shows errors fails (or throws), the error template replaces what it wrote.
    void RunPage(RequestVariables& request, std::string& body) override;

private:
    const PageFactory& m_pages;
    AccountStore& m_accounts;
};

// Empties `body`, sets ERR_MSG, ERR_DST, ERR_DST_NAME and TEMPLATE_NAME = "error" in the
// request, and renders the "error" template from TEMPLATE_PATH with every request variable.
// A missing error template leaves the body empty.
void showErrorPage(RequestVariables& request, std::string_view message, ErrorTarget target,
                   std::string& body);

// What a template request needs, from TEMPLATE_NAME and whether "action" is empty:
//   "edit", "modalchoose", "modalregexp", "modaltest"   Edit
//   "show", "showtext"                                  View without action, else Edit
//   "index"                                             None without action, else Edit
//   any other name                                      None
// "showtext" shows the raw recent records (addresses, user names, URLs of the log lines), so it
// needs the same rights as the chart drawn from them.
enum class AccessLevel { None, View, Edit };
AccessLevel requiredAccessLevel(std::string_view templateName, std::string_view action);

// Path functions for the request variables; "/" separates folders.
// The file name without folder and extension: "/srv/htdocs/index.html" gives "index".
std::string templateNameOf(std::string_view path);
// The folder with its trailing "/": "/srv/htdocs/index.html" gives "/srv/htdocs/"; empty
// for a bare file name.
std::string templatePathOf(std::string_view path);
// The text after the last "." of the file name, or empty when the file name has none.
std::string extensionOf(std::string_view path);
// Whether the file is a template: its extension is "html" in any letter case.
bool isTemplateFile(std::string_view path);

}  // namespace tg
