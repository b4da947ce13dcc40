#include "web/page_dispatch.h"

#include <exception>

#include "web/error_page.h"
#include "web/query_args.h"

namespace tg {

namespace {

std::string_view valueOf(const RequestVariables& request, const std::string& name) {
    const auto it = request.find(name);
    return it == request.end() ? std::string_view() : std::string_view(it->second);
}

std::string_view fileNameOf(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool granted(AccessLevel level, std::uint32_t accountType) {
    const auto type = static_cast<AccountType>(accountType);
    switch (level) {
        case AccessLevel::None:
            return true;
        case AccessLevel::View:
            return type == AccountType::ViewOnly || type == AccountType::EditPermission;
        case AccessLevel::Edit:
            return type == AccountType::EditPermission;
    }
    return false;
}

}  // namespace

RequestVariables PageDispatcher::variablesFor(std::string_view parameterText,
                                              std::string_view templatePath) {
    RequestVariables request;
    ParseQueryArgs(parameterText, request);
    request.try_emplace("action");
    request.insert_or_assign("TEMPLATE_NAME", templateNameOf(templatePath));
    request.insert_or_assign("TEMPLATE_PATH", templatePathOf(templatePath));
    request.insert_or_assign("TEMPLATE_PATHNAME", std::string(templatePath));
    return request;
}

void PageDispatcher::RunPage(RequestVariables& request, std::string& body) {
    std::string message;
    ErrorTarget target = ErrorTarget::DiagramList;
    try {
        const std::unique_ptr<Page> page = m_pages.create(valueOf(request, "TEMPLATE_NAME"));
        if (page->processTemplate(request, body) || !page->showsErrorPage()) return;
        message = page->errorMessage();
        target = page->errorTarget();
    } catch (const std::exception& e) {
        // A page that throws must not take the server, and the data collection with it, down.
        message = std::string("Internal error: ") + e.what();
    }
    showErrorPage(request, message, target, body);
}

void showErrorPage(RequestVariables& request, std::string_view message, ErrorTarget target,
                   std::string& body) {
    body.clear();
    request.insert_or_assign("ERR_MSG", std::string(message));
    request.insert_or_assign("ERR_DST", std::string(errorTargetUrl(target)));
    request.insert_or_assign("ERR_DST_NAME", std::string(errorTargetName(target)));
    request.insert_or_assign("TEMPLATE_NAME", "error");
    // The error template sees the request's variables, but never the password it came with.
    RequestVariables shown = request;
    shown.erase("PASSWORD");
    ErrorPage page;
    (void)page.processTemplate(shown, body);
}

AccessLevel requiredAccessLevel(std::string_view templateName, std::string_view action) {
    if (templateName == "edit" || templateName == "modalchoose" || templateName == "modalregexp" ||
        templateName == "modaltest") {
        return AccessLevel::Edit;
    }
    if (templateName == "show" || templateName == "showtext") {
        return action.empty() ? AccessLevel::View : AccessLevel::Edit;
    }
    if (templateName == "index") return action.empty() ? AccessLevel::None : AccessLevel::Edit;
    return AccessLevel::None;
}

Access PageDispatcher::CheckAccess(const RequestVariables& request, const RequestClient& client) {
    const AccessLevel level =
        requiredAccessLevel(valueOf(request, "TEMPLATE_NAME"), valueOf(request, "action"));
    if (level == AccessLevel::None) return Access::Granted;
    const auto login = request.find("LOGIN");
    if (login == request.end()) {
        if (m_accounts.anyAccountExists()) return Access::Refused;
        if (level == AccessLevel::Edit && !client.loopback) return Access::NeedsAccount;
        return Access::Granted;
    }
    const std::uint32_t type =
        m_accounts.authenticate(login->second, valueOf(request, "PASSWORD"));
    if (type == 0) return Access::BadLogin;
    return granted(level, type) ? Access::LoggedIn : Access::Refused;
}

std::string PageDispatcher::FindPageName(std::string_view templateName) {
    return std::string(templateName);
}

std::string templateNameOf(std::string_view path) {
    const std::string_view file = fileNameOf(path);
    return std::string(file.substr(0, file.rfind('.')));
}

std::string templatePathOf(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string extensionOf(std::string_view path) {
    const std::string_view file = fileNameOf(path);
    const std::size_t dot = file.rfind('.');
    return dot == std::string_view::npos ? std::string() : std::string(file.substr(dot + 1));
}

bool isTemplateFile(std::string_view path) {
    const std::string extension = extensionOf(path);
    if (extension.size() != 4) return false;
    for (std::size_t i = 0; i < 4; ++i) {
        char c = extension[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != "html"[i]) return false;
    }
    return true;
}

}  // namespace tg
