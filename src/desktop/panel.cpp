#include "desktop/panel.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "desktop/diagrams_page.h"
#include "desktop/settings_page.h"
#include "desktop/sources_page.h"

namespace tg {

Panel::Panel(const DesktopParts& parts, Prompts& prompts, bool trayAvailable)
    : m_prompts(prompts), m_trayAvailable(trayAvailable) {
    setWindowTitle(QStringLiteral("Tessellgrove"));
    m_tabs = new QTabWidget;
    m_diagrams = new DiagramsPage(parts.diagrams, parts.sources, parts.store, prompts);
    m_sources = new SourcesPage(parts.sources, prompts);
    m_settings = new SettingsPage(parts.settings, parts.server, parts.accounts, prompts);
    m_tabs->addTab(m_diagrams, QStringLiteral("Diagrams"));
    m_tabs->addTab(m_sources, QStringLiteral("DataSource"));
    m_tabs->addTab(m_settings, QStringLiteral("Settings"));
    connect(m_tabs, &QTabWidget::currentChanged, this, [this](int index) {
        settlePage(m_current);
        m_current = index;
        page(index)->refresh();
    });

    auto* close = new QPushButton(QStringLiteral("Close"));
    close->setObjectName("Close");
    connect(close, &QPushButton::clicked, this, [this] { closePanel(); });
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(close);
    auto* top = new QVBoxLayout(this);
    top->addWidget(m_tabs);
    top->addLayout(bottom);
    resize(620, 480);
}

PanelPage* Panel::page(int index) const {
    switch (index) {
        case kDiagrams:
            return m_diagrams;
        case kSources:
            return m_sources;
        default:
            return m_settings;
    }
}

void Panel::settlePage(int index) {
    PanelPage* left = page(index);
    if (!left->hasUnsavedChanges()) return;
    if (m_prompts.ask(this, QStringLiteral("Save Chages?"), QStringLiteral("Tessellgrove"))) {
        left->saveChanges();
    } else {
        left->dropChanges();
    }
}

void Panel::showPage(PageIndex index) {
    if (m_tabs->currentIndex() != index) {
        m_tabs->setCurrentIndex(index);  // settles the page it leaves
    } else if (!page(index)->hasUnsavedChanges()) {
        page(index)->refresh();
    }
    showNormal();
    raise();
    activateWindow();
}

void Panel::closePanel() {
    settlePage(m_tabs->currentIndex());
    if (m_trayAvailable) {
        hide();
    } else {
        showMinimized();
    }
}

void Panel::closeEvent(QCloseEvent* event) {
    event->ignore();
    closePanel();
}

}  // namespace tg
