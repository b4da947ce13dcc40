#pragma once
// The checks of the user editor's Ok, shared by the desktop editor and tgctl so that both
// refuse the same input with the same messages. Plain functions, any thread.

#include <string_view>

#include "http/account_store.h"

namespace tg {

enum class AccountEditError {
    None,
    NameEmpty,        // the user name is empty
    NameHasColon,     // Basic credentials end the user name at the first ':'
    NameHasControl,   // a control character (below 0x20, or 0x7F) in the user name
    PasswordsDiffer,  // the password and its repetition were typed and are not equal
    PasswordHasNul,   // Basic credentials end at the first zero byte
};

// The first check that fails: the name's checks, then the passwords'. A name or password
// refused here could never log in. The two passwords are compared only when
// `passwordsTyped`: the editor's fields start with two different placeholders, which count as
// nothing typed.
AccountEditError checkAccountEdit(std::string_view userName, bool passwordsTyped,
                                  std::string_view password, std::string_view retyped);

// The message the editor shows; empty for None.
std::string_view accountEditMessage(AccountEditError error);

// The type the "Edit Permission" check box stands for.
inline AccountType accountTypeFor(bool editPermission) {
    return editPermission ? AccountType::EditPermission : AccountType::ViewOnly;
}

}  // namespace tg
