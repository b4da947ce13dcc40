#pragma once
// The tray icon and its menu, the program's way back to the panel. A left click shows the
// panel; the menu is built anew each time it opens: "About", "Setting", "Show Panel", a
// separator, "Help" and "Exit", without "Exit" while an editor is open. "Exit" asks first and
// then ends the program in order (data saved, positions written).
//
// Main thread only.

#include <QPointer>
#include <QSystemTrayIcon>
#include <functional>
#include <memory>

#include "desktop/panel.h"

class QDialog;
class QMenu;

namespace tg {

// The program's icon, drawn (the same picture as the installed icons).
QIcon programIcon();

// Opens the user guide with the desktop's default handler: TG.chm beside the program when it is
// there, else the installed HTML guide. False when neither exists or no handler opens it.
bool openHelp();

class Tray final {
public:
    // `exit` ends the program (stops the loop; the orderly shutdown follows).
    Tray(Panel& panel, Prompts& prompts, std::function<void()> exit);
    ~Tray();
    Tray(const Tray&) = delete;
    Tray& operator=(const Tray&) = delete;

    // Fills `menu` with the items the tray menu has now.
    void fillMenu(QMenu& menu);
    void showAbout();
    void askExit();
    QSystemTrayIcon& icon() { return m_icon; }

private:
    Panel& m_panel;
    Prompts& m_prompts;
    std::function<void()> m_exit;
    QSystemTrayIcon m_icon;
    std::unique_ptr<QMenu> m_menu;
    QPointer<QDialog> m_about;  // one at a time
};

}  // namespace tg
