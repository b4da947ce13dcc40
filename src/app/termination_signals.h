#pragma once
// SIGTERM, SIGINT and SIGHUP as readable events of the main loop, so that an ending request
// runs the orderly shutdown instead of killing the process mid-write. SIGPIPE is ignored: a
// client that goes away must not end the server.
//
// blockInThisThread() must run before any other thread starts (threads inherit the mask), so
// no thread ever takes these signals asynchronously; then a TerminationSignals on the main
// thread reads them through a signalfd.

#include "http/reactor.h"
#include "platform/unique_fd.h"

namespace tg {

class TerminationSignals {
public:
    static void blockInThisThread();

    TerminationSignals();  // the signalfd; blockInThisThread() must have run
    // Stops the reactor when one of the signals arrives. False when the kernel refuses.
    [[nodiscard]] bool stopOnSignal(Reactor& reactor);
    // The last signal read; 0 while none came.
    int received() const { return m_received; }

private:
    UniqueFd m_fd;
    int m_received = 0;
};

}  // namespace tg
