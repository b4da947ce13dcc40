#include "app/termination_signals.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace tg {
namespace {

sigset_t terminationSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    return set;
}

}  // namespace

void TerminationSignals::blockInThisThread() {
    const sigset_t set = terminationSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
}

TerminationSignals::TerminationSignals() {
    const sigset_t set = terminationSet();
    m_fd.reset(::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC));
}

bool TerminationSignals::stopOnSignal(Reactor& reactor) {
    if (!m_fd) return false;
    return reactor.watch(m_fd.get(), Reactor::kReadable, [this, &reactor](unsigned) {
        signalfd_siginfo info;
        while (::read(m_fd.get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
            m_received = static_cast<int>(info.ssi_signo);
            reactor.stop();
        }
    });
}

}  // namespace tg
