#pragma once
// The "Edit User" editor. The two password fields start with two different ten-digit
// placeholders; the passwords count as typed (and are compared and stored) only once the user
// has typed into one of them. An untyped password keeps the stored digest, so changing a
// user's permission never changes the password. Ok runs the shared account checks, saves the
// account under the entered name and, when the name was changed, deletes the old account.
//
// Main thread only.

#include <QDialog>

#include "desktop/prompts.h"
#include "http/account_store.h"

class QCheckBox;
class QLineEdit;

namespace tg {

inline const QString kPasswordPlaceholder = QStringLiteral("3141592653");
inline const QString kRepeatPlaceholder = QStringLiteral("2718281828");

class UserEditor final : public QDialog {
public:
    // `userName` empty for a new account.
    UserEditor(AccountStore& accounts, const std::string& userName, Prompts& prompts,
               QWidget* parent = nullptr);
    void accept() override;

private:
    AccountStore& m_accounts;
    Prompts& m_prompts;
    OpenEditors m_open;
    const std::string m_found;
    bool m_typed = false;
    QLineEdit* m_name = nullptr;
    QLineEdit* m_password = nullptr;
    QLineEdit* m_repeat = nullptr;
    QCheckBox* m_edit = nullptr;
};

}  // namespace tg
