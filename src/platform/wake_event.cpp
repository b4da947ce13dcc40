#include "platform/wake_event.h"

#include <poll.h>
#include <sys/eventfd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <system_error>

namespace tg {
namespace {

// poll() that resumes after signals, counting down what is left of the timeout.
int pollFor(pollfd* fds, nfds_t count, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        const int rc = ::poll(fds, count, static_cast<int>(std::max<long long>(0, left.count())));
        if (rc >= 0 || errno != EINTR) return rc;
    }
}

}  // namespace

WakeEvent::WakeEvent() : m_fd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (!m_fd) throw std::system_error(errno, std::generic_category(), "eventfd");
}

void WakeEvent::signal() {
    const std::uint64_t one = 1;
    // A full counter is still signalled, so a failed write needs no handling.
    [[maybe_unused]] auto written = ::write(m_fd.get(), &one, sizeof one);
}

void WakeEvent::clear() {
    std::uint64_t value = 0;
    [[maybe_unused]] auto read = ::read(m_fd.get(), &value, sizeof value);
}

bool WakeEvent::waitFor(std::chrono::milliseconds timeout) const {
    pollfd fds[1] = {{m_fd.get(), POLLIN, 0}};
    return pollFor(fds, 1, timeout) > 0;
}

int WakeEvent::waitReadable(int fd, std::chrono::milliseconds timeout) const {
    pollfd fds[2] = {{m_fd.get(), POLLIN, 0}, {fd, POLLIN, 0}};
    const int rc = pollFor(fds, 2, timeout);
    if (rc <= 0) return 0;
    if (fds[0].revents) return -1;
    return 1;
}

}  // namespace tg
