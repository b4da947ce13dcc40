#include "desktop/user_editor.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include "datasource/source_edit.h"
#include "desktop/dialog_parts.h"
#include "desktop/text.h"
#include "http/account_edit.h"

namespace tg {

UserEditor::UserEditor(AccountStore& accounts, const std::string& userName, Prompts& prompts,
                       QWidget* parent)
    : QDialog(parent), m_accounts(accounts), m_prompts(prompts), m_found(userName) {
    setWindowTitle(QStringLiteral("Edit User"));
    auto* form = new QFormLayout;
    m_name = new QLineEdit(fromStd(userName));
    m_name->setObjectName("User");
    form->addRow(QStringLiteral("User"), m_name);
    m_password = new QLineEdit(kPasswordPlaceholder);
    m_password->setObjectName("Passwrod");
    m_password->setEchoMode(QLineEdit::Password);
    form->addRow(QStringLiteral("Passwrod"), m_password);
    m_repeat = new QLineEdit(kRepeatPlaceholder);
    m_repeat->setObjectName("Pass repeat");
    m_repeat->setEchoMode(QLineEdit::Password);
    form->addRow(QStringLiteral("Pass repeat"), m_repeat);
    for (QLineEdit* field : {m_password, m_repeat}) {
        connect(field, &QLineEdit::textEdited, this, [this] { m_typed = true; });
    }
    m_edit = new QCheckBox(QStringLiteral("Edit Permission"));
    m_edit->setObjectName("Edit Permission");
    m_edit->setChecked(!userName.empty() &&
                       accounts.accountType(userName) ==
                           static_cast<std::uint32_t>(AccountType::EditPermission));
    form->addRow(QString(), m_edit);
    auto* top = new QVBoxLayout(this);
    top->addLayout(form);
    top->addWidget(okCancelButtons(*this));
    setMinimumWidth(340);
}

void UserEditor::accept() {
    const std::string name = toStd(m_name->text());
    const std::string password = toStd(m_password->text());
    const AccountEditError error =
        checkAccountEdit(name, m_typed, password, toStd(m_repeat->text()));
    if (error != AccountEditError::None) {
        m_prompts.tell(this, fromStd(accountEditMessage(error)));
        (error == AccountEditError::PasswordsDiffer || error == AccountEditError::PasswordHasNul
             ? m_password
             : m_name)
            ->setFocus();
        return;
    }
    const bool renamed = !m_found.empty() && !sameStoredName(m_found, name);
    if (renamed && !m_typed) {
        // The stored digest belongs to the old key; without a typed password the renamed user
        // could never log in.
        m_prompts.tell(this, QStringLiteral("Please type the password of the renamed user"));
        m_password->setFocus();
        return;
    }
    std::optional<std::string_view> typed;
    if (m_typed) typed = password;
    if (m_accounts.saveAccount(name, typed, accountTypeFor(m_edit->isChecked())) != 0) {
        m_prompts.tell(this, QStringLiteral("The user can not be saved"));
        return;
    }
    if (renamed) (void)m_accounts.deleteAccount(m_found);  // gone already is as good
    QDialog::accept();
}

}  // namespace tg
