#include "desktop/desktop_start.h"

#include <QLocalSocket>
#include <clocale>

#include "desktop/text.h"

namespace tg {

void keepByteLocale() { std::setlocale(LC_ALL, "C"); }

QString panelSocketName(const std::filesystem::path& lockFile) {
    return fromStd(lockFile.string() + ".panel");
}

bool askToShowPanel(const QString& socketName) {
    QLocalSocket socket;
    socket.connectToServer(socketName, QIODevice::WriteOnly);
    if (!socket.waitForConnected(2000)) return false;
    socket.write("show\n");
    const bool sent = socket.waitForBytesWritten(2000);
    socket.disconnectFromServer();
    return sent;
}

DesktopProgram::DesktopProgram(Application& application, Prompts& prompts, bool trayAvailable)
    : m_pump(application.reactor()) {
    const DesktopParts parts{application.store(),    application.sources(), application.diagrams(),
                             application.settings(), application.server(),  application.accounts()};
    m_panel = std::make_unique<Panel>(parts, prompts, trayAvailable);
    if (trayAvailable) {
        m_tray = std::make_unique<Tray>(*m_panel, prompts,
                                        [&application] { application.reactor().stop(); });
    } else {
        m_panel->showPage(Panel::kDiagrams);
    }

    // This instance holds the store's lock, so a socket left by one that was killed is stale.
    const QString name = panelSocketName(application.lockFile());
    QLocalServer::removeServer(name);
    m_showServer.setSocketOptions(QLocalServer::UserAccessOption);
    if (m_showServer.listen(name)) {
        QObject::connect(&m_showServer, &QLocalServer::newConnection, &m_showServer, [this] {
            while (QLocalSocket* client = m_showServer.nextPendingConnection()) {
                client->deleteLater();
                m_panel->showPage(Panel::kDiagrams);
            }
        });
    }
}

DesktopProgram::~DesktopProgram() { m_showServer.close(); }

}  // namespace tg
