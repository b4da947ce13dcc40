#pragma once
// The Settings page: the web server's port, the event log (enabled, path, size limit) and the
// web accounts. "Save" moves the server to the port (a port that cannot be listened on is
// reported and rolled back by the server) and stores the log settings. Changes not saved count
// as unsaved changes for the panel's question.
//
// Main thread only.

#include "desktop/list_page.h"
#include "http/account_store.h"
#include "http/http_server.h"
#include "http/http_settings.h"

class QCheckBox;
class QLineEdit;
class QSpinBox;

namespace tg {

class SettingsPage final : public PanelPage {
public:
    SettingsPage(HttpSettings& settings, HttpServer& server, AccountStore& accounts,
                 Prompts& prompts, QWidget* parent = nullptr);
    void refresh() override;
    bool hasUnsavedChanges() const override { return m_changed; }
    void saveChanges() override { save(); }
    void dropChanges() override { refresh(); }

    void save();
    void newUser();
    void editUser();
    void deleteUser();
    QSpinBox& port() { return *m_port; }
    QTreeWidget& users() { return *m_users; }

private:
    void editAccount(const std::string& name);
    void refreshUsers();

    HttpSettings& m_settings;
    HttpServer& m_server;
    AccountStore& m_accounts;
    Prompts& m_prompts;
    bool m_changed = false;
    bool m_filling = false;
    QSpinBox* m_port = nullptr;
    QCheckBox* m_logEnabled = nullptr;
    QLineEdit* m_logPath = nullptr;
    QSpinBox* m_logSize = nullptr;
    QTreeWidget* m_users = nullptr;
};

}  // namespace tg
