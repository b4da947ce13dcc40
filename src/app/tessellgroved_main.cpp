// tessellgroved: the whole program without a desktop, for servers, containers and systemd.
// Messages meant for the user go to standard error. SIGTERM, SIGINT and SIGHUP end it in
// order: diagram data saved, last positions written, exit code 0.
//
// Exit codes: 0 ended normally or another instance holds the store; 1 a start-up step failed,
// or the data could not be saved at the end; 2 usage error.

#include <clocale>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "app/app_options.h"
#include "app/application.h"
#include "app/termination_signals.h"

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "C");  // expressions match bytes, whatever the environment says
    // Before any thread exists, so that every thread inherits the blocked signals.
    tg::TerminationSignals::blockInThisThread();
    const std::string program = "tessellgroved";
    tg::AppOptions options;
    try {
        options = tg::parseAppOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const tg::AppUsageError& e) {
        std::fprintf(stderr, "%s: %s\n\n%s", program.c_str(), e.what(),
                     tg::appUsage(program).c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(tg::appUsage(program).c_str(), stdout);
        return 0;
    }

    tg::StderrMessages messages;
    try {
        tg::Application application(options, messages);
        if (const auto ended = application.startUp()) return *ended;
        tg::TerminationSignals signals;
        if (!signals.stopOnSignal(application.reactor())) {
            messages.show("Cannot watch for termination signals", tg::MessageIcon::Stop);
            return 1;
        }
        application.runLoop();
        return application.shutDown() ? 0 : 1;
    } catch (const std::exception& e) {
        // Only start-up can get here (the kernel refusing descriptors); the loop's own
        // exceptions end in an orderly shutdown inside runLoop.
        messages.show(program + ": " + e.what(), tg::MessageIcon::Stop);
        return 1;
    }
}
