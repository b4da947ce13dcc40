#pragma once
// The desktop program around a started Application: the panel, the tray icon (or, where the
// desktop has no tray, the panel shown at once), the reactor driven from Qt's loop, and a local
// socket beside the store's lock file through which a second start asks this one to show its
// panel.
//
// Main thread only.

#include <QLocalServer>
#include <filesystem>
#include <memory>

#include "app/application.h"
#include "desktop/panel.h"
#include "desktop/reactor_pump.h"
#include "desktop/tray.h"

namespace tg {

// Qt sets the process locale from the environment; expressions match bytes, as in the daemon,
// only in the C locale. Call after QApplication is made.
void keepByteLocale();

// The socket a running program listens on for "show the panel".
QString panelSocketName(const std::filesystem::path& lockFile);
// Asks the program listening there to show its panel; false when none answers.
bool askToShowPanel(const QString& socketName);

class DesktopProgram {
public:
    // `application` must be running; `trayAvailable` is the desktop's answer (tests choose).
    DesktopProgram(Application& application, Prompts& prompts, bool trayAvailable);
    ~DesktopProgram();
    DesktopProgram(const DesktopProgram&) = delete;
    DesktopProgram& operator=(const DesktopProgram&) = delete;

    Panel& panel() { return *m_panel; }
    Tray* tray() { return m_tray.get(); }

private:
    std::unique_ptr<Panel> m_panel;
    std::unique_ptr<Tray> m_tray;
    QLocalServer m_showServer;
    ReactorPump m_pump;
};

}  // namespace tg
