#include "desktop/tray.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace tg {

QIcon programIcon() {
    QIcon icon = QIcon::fromTheme(QStringLiteral("tessellgrove"));
    if (!icon.isNull()) return icon;
    for (int size : {16, 32, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 64.0, size / 64.0);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0x1f, 0x4e, 0x79));
        painter.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);
        // A tessellation of triangles growing like a chart.
        const QColor colours[] = {QColor(0x7f, 0xc9, 0x7f), QColor(0xf0, 0xb4, 0x29),
                                  QColor(0xe8, 0x5d, 0x4a)};
        const int heights[] = {18, 30, 44};
        for (int i = 0; i < 3; ++i) {
            const double x = 8 + i * 16;
            painter.setBrush(colours[i]);
            const QPointF triangle[] = {{x, 56}, {x + 16, 56}, {x + 8, 56.0 - heights[i]}};
            painter.drawPolygon(triangle, 3);
        }
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

bool openHelp() {
    const QString dir = QCoreApplication::applicationDirPath();
    for (const QString& path :
         {dir + QStringLiteral("/TG.chm"), dir + QStringLiteral("/guide/index.html"),
          dir + QStringLiteral("/../share/doc/tessellgrove/guide/index.html")}) {
        if (QFileInfo::exists(path)) {
            return QDesktopServices::openUrl(
                QUrl::fromLocalFile(QFileInfo(path).canonicalFilePath()));
        }
    }
    return false;
}

Tray::Tray(Panel& panel, Prompts& prompts, std::function<void()> exit)
    : m_panel(panel), m_prompts(prompts), m_exit(std::move(exit)), m_menu(new QMenu) {
    m_icon.setIcon(programIcon());
    m_icon.setToolTip(QStringLiteral("Tessellgrove"));
    m_icon.setContextMenu(m_menu.get());
    QObject::connect(m_menu.get(), &QMenu::aboutToShow, m_menu.get(),
                     [this] { fillMenu(*m_menu); });
    QObject::connect(&m_icon, &QSystemTrayIcon::activated, &m_icon,
                     [this](QSystemTrayIcon::ActivationReason reason) {
                         if (reason == QSystemTrayIcon::Trigger) {
                             m_panel.showPage(Panel::kDiagrams);
                         }
                     });
    fillMenu(*m_menu);
    m_icon.show();
}

Tray::~Tray() {
    m_icon.hide();
    m_icon.setContextMenu(nullptr);
}

void Tray::fillMenu(QMenu& menu) {
    menu.clear();
    menu.addAction(QStringLiteral("About"), [this] { showAbout(); });
    menu.addAction(QStringLiteral("Setting"), [this] { m_panel.showPage(Panel::kSettings); });
    menu.addAction(QStringLiteral("Show Panel"), [this] { m_panel.showPage(Panel::kDiagrams); });
    menu.addSeparator();
    menu.addAction(QStringLiteral("Help"), [this] {
        if (!openHelp()) m_prompts.tell(nullptr, QStringLiteral("The user guide is not installed"));
    });
    if (!OpenEditors::any()) menu.addAction(QStringLiteral("Exit"), [this] { askExit(); });
}

void Tray::askExit() {
    if (m_prompts.ask(nullptr, QStringLiteral("Do you want to exit ?"))) m_exit();
}

void Tray::showAbout() {
    if (m_about == nullptr) {
        auto* about = new QDialog;
        about->setAttribute(Qt::WA_DeleteOnClose);
        about->setWindowTitle(QStringLiteral("About"));
        auto* picture = new QLabel;
        picture->setPixmap(programIcon().pixmap(64, 64));
        auto* text = new QLabel(QStringLiteral("<b>Tessellgrove</b> %1<br>Log pattern analyser"
                                               "<br>2024&ndash;2026")
                                    .arg(QStringLiteral(TG_VERSION)));
        auto* ok = new QPushButton(QStringLiteral("OK"));
        QObject::connect(ok, &QPushButton::clicked, about, &QDialog::accept);
        auto* row = new QHBoxLayout;
        row->addWidget(picture);
        row->addWidget(text, 1);
        auto* layout = new QVBoxLayout(about);
        layout->addLayout(row);
        layout->addWidget(ok, 0, Qt::AlignRight);
        m_about = about;
    }
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}

}  // namespace tg
