#pragma once
// The panel: the Diagrams, DataSource and Settings pages in tabs, and "Close". "Close" and a
// change of page first ask the page it leaves whether to save its unsaved changes ("Save
// Chages?"). "Close" hides the panel while the program runs on in the tray; where the desktop
// has no tray it minimises the panel instead, so the program stays reachable. Closing the
// window from the window manager does what "Close" does: the program ends only from "Exit".
//
// Main thread only.

#include <QTabWidget>
#include <QWidget>

#include "config/config_store.h"
#include "datasource/source_manager.h"
#include "desktop/prompts.h"
#include "diagram/diagram_manager.h"
#include "http/account_store.h"
#include "http/http_server.h"
#include "http/http_settings.h"

namespace tg {

class DiagramsPage;
class PanelPage;
class SettingsPage;
class SourcesPage;

// What the panel works on; all of it outlives the panel.
struct DesktopParts {
    ConfigStore& store;
    SourceManager& sources;
    DiagramManager& diagrams;
    HttpSettings& settings;
    HttpServer& server;
    AccountStore& accounts;
};

class Panel final : public QWidget {
public:
    enum PageIndex { kDiagrams = 0, kSources = 1, kSettings = 2 };

    Panel(const DesktopParts& parts, Prompts& prompts, bool trayAvailable);

    // Shows the panel on that page in front of the other windows.
    void showPage(PageIndex page);
    // "Close": asks about unsaved changes, then hides (or minimises without a tray).
    void closePanel();

    DiagramsPage& diagramsPage() { return *m_diagrams; }
    SourcesPage& sourcesPage() { return *m_sources; }
    SettingsPage& settingsPage() { return *m_settings; }
    QTabWidget& tabs() { return *m_tabs; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Asks the page whether to keep its unsaved changes, and saves or drops them.
    void settlePage(int index);
    PanelPage* page(int index) const;

    Prompts& m_prompts;
    const bool m_trayAvailable;
    QTabWidget* m_tabs = nullptr;
    DiagramsPage* m_diagrams = nullptr;
    SourcesPage* m_sources = nullptr;
    SettingsPage* m_settings = nullptr;
    int m_current = 0;
};

}  // namespace tg
