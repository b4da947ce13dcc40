#include "web/page_factory.h"

#include <utility>

#include "web/generic_page.h"

namespace tg {

void PageFactory::registerPage(std::string templateName, Creator create) {
    m_creators.insert_or_assign(std::move(templateName), std::move(create));
}

std::unique_ptr<Page> PageFactory::create(std::string_view templateName) const {
    const auto it = m_creators.find(templateName);
    if (it != m_creators.end() && it->second) {
        if (std::unique_ptr<Page> page = it->second()) return page;
    }
    return std::make_unique<GenericPage>();
}

}  // namespace tg
