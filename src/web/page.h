#pragma once
// The base of every page of the web application: one object per template request, created
// by the page factory and run by RunPage on the HTTP server's thread, never shared. It owns
// the template engine with its variable table, and the error message and target that an
// operation sets when it fails; derived pages add the lists behind their record blocks and
// answer the engine's prepare, expandRecord and recordKindOf.
//
// Failures: an operation of a page answers a bool, and when false it has set the message
// and the target the error page shows (setError); the caller passes the false on and adds
// nothing. Those bools are [[nodiscard]]: a page that drops one says why in a comment.

#include <string>
#include <string_view>
#include <utility>

#include "web/template_engine.h"

namespace tg {

// Where the error page links back to (its ERR_DST and ERR_DST_NAME).
enum class ErrorTarget : int { DiagramList = 0, DiagramEdit = 1, None = 2 };

// "index.html", "edit.html", or empty for None.
std::string_view errorTargetUrl(ErrorTarget target);
// "Back to diagram list", "Edit diagram", or empty for None.
std::string_view errorTargetName(ErrorTarget target);

class Page : public TemplatePage {
public:
    Page() : m_engine(*this) {}
    Page(const Page&) = delete;
    Page& operator=(const Page&) = delete;

    // Whether RunPage shows the error template when processTemplate fails. True for the
    // named pages; GenericPage leaves what it wrote (normally nothing).
    virtual bool showsErrorPage() const { return true; }

    // See TemplateEngine. False on any failure, with errorMessage() and errorTarget() set.
    [[nodiscard]] bool processTemplate(const RequestVariables& request, std::string& out) {
        return m_engine.processTemplate(request, out);
    }
    [[nodiscard]] bool render(std::string_view text, std::string& out) {
        return m_engine.render(text, out);
    }
    // The value is written HTML-escaped.
    void setVariable(std::string name, std::string value) {
        m_engine.setVariable(std::move(name), std::move(value));
    }
    // The value is markup the page built and escaped itself; written unchanged.
    void setRawVariable(std::string name, std::string markup) {
        m_engine.setRawVariable(std::move(name), std::move(markup));
    }
    const TemplateVariables& variables() const { return m_engine.variables(); }

    // Set together by whoever makes an operation of the page fail.
    void setError(std::string message, ErrorTarget target) {
        m_errorMessage = std::move(message);
        m_errorTarget = target;
    }
    const std::string& errorMessage() const { return m_errorMessage; }
    ErrorTarget errorTarget() const { return m_errorTarget; }

    // The engine's own failures (a block without close tag, the template file missing) link
    // back to the diagram list.
    void templateFailed(std::string message) override {
        setError(std::move(message), ErrorTarget::DiagramList);
    }

private:
    TemplateEngine m_engine;
    std::string m_errorMessage;
    ErrorTarget m_errorTarget = ErrorTarget::DiagramList;
};

}  // namespace tg
