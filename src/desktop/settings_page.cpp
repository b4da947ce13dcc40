#include "desktop/settings_page.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "desktop/dialog_parts.h"
#include "desktop/text.h"
#include "desktop/user_editor.h"

namespace tg {

SettingsPage::SettingsPage(HttpSettings& settings, HttpServer& server, AccountStore& accounts,
                           Prompts& prompts, QWidget* parent)
    : PanelPage(parent),
      m_settings(settings),
      m_server(server),
      m_accounts(accounts),
      m_prompts(prompts) {
    auto* web = new QGroupBox(QStringLiteral("Web Server"));
    auto* webForm = new QFormLayout(web);
    m_port = new QSpinBox;
    m_port->setObjectName("Port");
    m_port->setRange(1, 65535);
    m_port->setMaximumWidth(120);
    webForm->addRow(QStringLiteral("Port"), m_port);

    auto* log = new QGroupBox(QStringLiteral("Log"));
    auto* logForm = new QFormLayout(log);
    m_logEnabled = new QCheckBox(QStringLiteral("Enable"));
    m_logEnabled->setObjectName("Enable");
    logForm->addRow(m_logEnabled);
    auto* pathRow = new QHBoxLayout;
    m_logPath = new QLineEdit;
    m_logPath->setObjectName("Path");
    pathRow->addWidget(m_logPath);
    connect(addNamedButton(QStringLiteral("Browse"), pathRow), &QPushButton::clicked, this, [this] {
        const QString path = m_prompts.saveFile(this, kLogFileFilter);
        if (!path.isEmpty()) m_logPath->setText(path);
    });
    logForm->addRow(QStringLiteral("Path"), pathRow);
    m_logSize = new QSpinBox;
    m_logSize->setObjectName("Max Size (mb)");
    m_logSize->setRange(1, 4095);
    m_logSize->setMaximumWidth(120);
    logForm->addRow(QStringLiteral("Max Size (mb)"), m_logSize);

    auto* users = new QGroupBox(QStringLiteral("Users"));
    auto* usersLayout = new QHBoxLayout(users);
    m_users = new QTreeWidget;
    m_users->setObjectName("Users");
    m_users->setRootIsDecorated(false);
    m_users->setHeaderLabels({QStringLiteral("User"), QStringLiteral("Edit Permission")});
    m_users->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_users->header()->setStretchLastSection(false);
    usersLayout->addWidget(m_users, 1);
    auto* userButtons = new QVBoxLayout;
    connect(addNamedButton(QStringLiteral("New"), userButtons), &QPushButton::clicked, this,
            [this] { newUser(); });
    connect(addNamedButton(QStringLiteral("Edit"), userButtons), &QPushButton::clicked, this,
            [this] { editUser(); });
    connect(addNamedButton(QStringLiteral("Delete"), userButtons), &QPushButton::clicked, this,
            [this] { deleteUser(); });
    userButtons->addStretch();
    usersLayout->addLayout(userButtons);
    connect(m_users, &QTreeWidget::itemDoubleClicked, this, [this] { editUser(); });

    auto* saveRow = new QHBoxLayout;
    saveRow->addStretch();
    connect(addNamedButton(QStringLiteral("Save"), saveRow), &QPushButton::clicked, this,
            [this] { save(); });

    auto* top = new QVBoxLayout(this);
    top->addWidget(web);
    top->addWidget(log);
    top->addWidget(users, 1);
    top->addLayout(saveRow);

    const auto changed = [this] {
        if (!m_filling) m_changed = true;
    };
    connect(m_port, &QSpinBox::valueChanged, this, changed);
    connect(m_logEnabled, &QCheckBox::toggled, this, changed);
    connect(m_logPath, &QLineEdit::textChanged, this, changed);
    connect(m_logSize, &QSpinBox::valueChanged, this, changed);
    refresh();
}

void SettingsPage::refresh() {
    m_filling = true;
    m_port->setValue(static_cast<int>(m_settings.effectivePort()));
    m_logEnabled->setChecked(m_settings.webLogEnabled());
    m_logPath->setText(fromStd(m_settings.logPath()));
    m_logSize->setValue(static_cast<int>(m_settings.effectiveLogSize()));
    refreshUsers();
    m_filling = false;
    m_changed = false;
}

void SettingsPage::refreshUsers() {
    m_users->clear();
    for (const std::string& name : m_accounts.listAccounts()) {
        auto* item = new QTreeWidgetItem(QStringList{fromStd(name)});
        item->setCheckState(1, m_accounts.accountType(name) ==
                                       static_cast<std::uint32_t>(AccountType::EditPermission)
                                   ? Qt::Checked
                                   : Qt::Unchecked);
        item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
        m_users->addTopLevelItem(item);
    }
}

void SettingsPage::save() {
    const auto port = static_cast<std::uint32_t>(m_port->value());
    if (port != m_settings.effectivePort() || !m_server.listening()) {
        // A refused port has been reported and rolled back by the server.
        (void)m_server.setPort(port);
    }
    m_settings.setWebLogEnabled(m_logEnabled->isChecked());
    m_settings.setLogPath(toStd(m_logPath->text()));
    m_settings.setMaxLogSize(static_cast<std::uint32_t>(m_logSize->value()));
    refresh();
}

void SettingsPage::editAccount(const std::string& name) {
    UserEditor editor(m_accounts, name, m_prompts, this);
    // The other settings keep what was typed and not saved.
    if (m_prompts.runEditor(editor)) refreshUsers();
}

void SettingsPage::newUser() { editAccount({}); }

void SettingsPage::editUser() {
    if (const QTreeWidgetItem* item = m_users->currentItem()) editAccount(toStd(item->text(0)));
}

void SettingsPage::deleteUser() {
    const QTreeWidgetItem* item = m_users->currentItem();
    if (item == nullptr || !m_prompts.ask(this, QStringLiteral("Delete user?"))) return;
    if (m_accounts.deleteAccount(toStd(item->text(0))) != 0) {
        m_prompts.tell(this, QStringLiteral("The user can not be deleted"));
    }
    refreshUsers();
}

}  // namespace tg
