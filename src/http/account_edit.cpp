#include "http/account_edit.h"

namespace tg {

AccountEditError checkAccountEdit(std::string_view userName, bool passwordsTyped,
                                  std::string_view password, std::string_view retyped) {
    if (userName.empty()) return AccountEditError::NameEmpty;
    if (userName.find(':') != std::string_view::npos) return AccountEditError::NameHasColon;
    for (const char c : userName) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            return AccountEditError::NameHasControl;
        }
    }
    if (passwordsTyped && password != retyped) return AccountEditError::PasswordsDiffer;
    if (password.find('\0') != std::string_view::npos) return AccountEditError::PasswordHasNul;
    return AccountEditError::None;
}

std::string_view accountEditMessage(AccountEditError error) {
    switch (error) {
        case AccountEditError::None:
            break;
        case AccountEditError::NameEmpty:
            return "Please fill user name";
        case AccountEditError::NameHasColon:
            return "a user name can not contain ':'";
        case AccountEditError::NameHasControl:
            return "a user name can not contain control characters";
        case AccountEditError::PasswordsDiffer:
            return " Passwords are not equal. Please try again.";
        case AccountEditError::PasswordHasNul:
            return "a password can not contain a zero byte";
    }
    return {};
}

}  // namespace tg
