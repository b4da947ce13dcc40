#include "http/account_edit.h"

namespace tg {

AccountEditError checkAccountEdit(std::string_view userName, bool passwordsTyped,
                                  std::string_view password, std::string_view retyped) {
    if (userName.empty()) return AccountEditError::NameEmpty;
    if (passwordsTyped && password != retyped) return AccountEditError::PasswordsDiffer;
    return AccountEditError::None;
}

std::string_view accountEditMessage(AccountEditError error) {
    switch (error) {
        case AccountEditError::None:
            break;
        case AccountEditError::NameEmpty:
            return "Please fill user name";
        case AccountEditError::PasswordsDiffer:
            return " Passwords are not equal. Please try again.";
    }
    return {};
}

}  // namespace tg
