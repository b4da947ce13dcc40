#include "web/generic_page.h"

namespace tg {

bool GenericPage::prepare(const RequestVariables& request) {
    const auto it = request.find("EDIT");
    setVariable("EDIT", it == request.end() ? std::string() : it->second);
    return true;
}

}  // namespace tg
