// tessellgrove: the desktop program. The same start-up, options and orderly shutdown as the
// daemon, with the reactor driven from Qt's loop, messages in message boxes, and a tray icon
// and panel to manage sources, diagrams, settings and accounts. "Exit" in the tray menu,
// SIGTERM, SIGINT and SIGHUP end it in order.
//
// Exit codes as the daemon's: 0 ended normally or another instance holds the store (which is
// asked to show its panel); 1 a start-up step failed or the data could not be saved; 2 usage.

#include <QApplication>
#include <QMessageBox>
#include <QSystemTrayIcon>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "app/app_options.h"
#include "app/application.h"
#include "app/termination_signals.h"
#include "desktop/box_messages.h"
#include "desktop/desktop_start.h"
#include "desktop/prompts.h"

int main(int argc, char** argv) {
    // Before any thread exists (Qt's included), so that every thread inherits the blocked
    // signals.
    tg::TerminationSignals::blockInThisThread();
    const std::string program = "tessellgrove";
    // --help needs no display: the options are read before Qt, and again after Qt has taken
    // its own options (-platform ...) out of the command line.
    std::optional<tg::AppOptions> early;
    try {
        early = tg::parseAppOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const tg::AppUsageError&) {
    }
    if (early && early->help) {
        std::fputs(tg::appUsage(program).c_str(), stdout);
        return 0;
    }

    QApplication app(argc, argv);
    tg::keepByteLocale();
    QApplication::setApplicationName(QStringLiteral("Tessellgrove"));
    QApplication::setDesktopFileName(QStringLiteral("tessellgrove"));
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(tg::programIcon());

    tg::AppOptions options;
    try {
        std::vector<std::string> words;
        const QStringList arguments = QApplication::arguments();
        for (qsizetype i = 1; i < arguments.size(); ++i)
            words.push_back(arguments[i].toStdString());
        options = early ? *early : tg::parseAppOptions(words);
    } catch (const tg::AppUsageError& e) {
        std::fprintf(stderr, "%s: %s\n\n%s", program.c_str(), e.what(),
                     tg::appUsage(program).c_str());
        return 2;
    }

    tg::BoxMessages messages;
    try {
        tg::Application application(options, messages);
        if (const auto ended = application.startUp()) {
            if (*ended == 0) (void)tg::askToShowPanel(tg::panelSocketName(application.lockFile()));
            return *ended;  // another instance runs, or the user has been told why not
        }
        tg::TerminationSignals termination;
        if (!termination.stopOnSignal(application.reactor())) {
            messages.show("Cannot watch for termination signals", tg::MessageIcon::Stop);
            (void)application.shutDown();  // the message above says why it ends
            return 1;
        }
        tg::BoxPrompts prompts;
        {
            tg::DesktopProgram desktop(application, prompts,
                                       QSystemTrayIcon::isSystemTrayAvailable());
            application.runLoop([] { QApplication::exec(); });
        }
        return application.shutDown() ? 0 : 1;
    } catch (const std::exception& e) {
        messages.show(program + ": " + e.what(), tg::MessageIcon::Stop);
        return 1;
    }
}
