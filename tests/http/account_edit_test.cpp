#include "http/account_edit.h"

#include <gtest/gtest.h>

namespace tg {
namespace {

TEST(AccountEditTest, NameFirstThenTypedPasswordsMustAgree) {
    EXPECT_EQ(checkAccountEdit("", true, "a", "b"), AccountEditError::NameEmpty);
    EXPECT_EQ(checkAccountEdit("bob", true, "a", "b"), AccountEditError::PasswordsDiffer);
    EXPECT_EQ(checkAccountEdit("bob", true, "a", "a"), AccountEditError::None);
    EXPECT_EQ(checkAccountEdit("bob", true, "", ""), AccountEditError::None);
    // Untouched fields hold two different placeholders; they are not compared.
    EXPECT_EQ(checkAccountEdit("bob", false, "1234567890", "0987654321"), AccountEditError::None);
    EXPECT_EQ(accountEditMessage(AccountEditError::NameEmpty), "Please fill user name");
    EXPECT_EQ(accountEditMessage(AccountEditError::PasswordsDiffer),
              " Passwords are not equal. Please try again.");
    EXPECT_EQ(accountTypeFor(true), AccountType::EditPermission);
    EXPECT_EQ(accountTypeFor(false), AccountType::ViewOnly);
}

}  // namespace
}  // namespace tg
