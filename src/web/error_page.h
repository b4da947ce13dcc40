#pragma once
// The page that renders the "error" template for showErrorPage: the template sees every
// request variable (HTML-escaped), including ERR_MSG, ERR_DST, ERR_DST_NAME and the failed
// page's parameters. One request, the HTTP server's thread.

#include "web/page.h"

namespace tg {

class ErrorPage : public Page {
public:
    // It is the error page: a failure of its own shows nothing further.
    bool showsErrorPage() const override { return false; }
    // Copies the whole request into the variable table; always true.
    [[nodiscard]] bool prepare(const RequestVariables& request) override;
};

}  // namespace tg
