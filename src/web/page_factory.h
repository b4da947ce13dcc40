#pragma once
// Chooses the page class of a template request by its template name (compared exactly,
// case-sensitively). The pages with classes of their own ("index", "edit", "show", ...) are
// registered here at start-up, with whatever process-wide objects they need bound into their
// creators; every other name gets a GenericPage.
//
// Registration happens before the HTTP server starts; after that create() only reads, on the
// HTTP server's thread.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "web/page.h"

namespace tg {

class PageFactory {
public:
    using Creator = std::function<std::unique_ptr<Page>()>;

    // Makes `create` the page class of `templateName`, replacing an earlier registration.
    void registerPage(std::string templateName, Creator create);
    // A new page for the name: the registered class, else (also when its creator yields
    // nothing) a GenericPage. Never null.
    std::unique_ptr<Page> create(std::string_view templateName) const;

private:
    std::map<std::string, Creator, std::less<>> m_creators;
};

}  // namespace tg
