#pragma once
// The page of every template without a page class of its own (for example "modaledit" or
// "about"): its template sees only EDIT, copied from the request. A failure (a missing
// template file) shows no error page. One request, the HTTP server's thread.

#include "web/page.h"

namespace tg {

class GenericPage : public Page {
public:
    bool showsErrorPage() const override { return false; }
    // Sets EDIT to the request's EDIT (empty when absent); always true.
    [[nodiscard]] bool prepare(const RequestVariables& request) override;
};

}  // namespace tg
