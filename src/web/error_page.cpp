#include "web/error_page.h"

namespace tg {

bool ErrorPage::prepare(const RequestVariables& request) {
    for (const auto& [name, value] : request) setVariable(name, value);
    return true;
}

}  // namespace tg
