#include "datasource/descriptor_wait.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>

#include "platform/wake_event.h"

namespace tg {

WaitResult waitForDescriptor(int fd, short events, const WakeEvent& wake,
                             std::optional<std::chrono::milliseconds> limit) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = limit ? Clock::now() + *limit : Clock::time_point::max();
    for (;;) {
        int timeout = -1;
        if (limit) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            timeout = static_cast<int>(std::max<long long>(0, left.count()));
        }
        pollfd fds[2] = {{wake.fd(), POLLIN, 0}, {fd, events, 0}};
        const int rc = ::poll(fds, 2, timeout);
        if (rc < 0 && errno == EINTR) continue;
        if (fds[0].revents != 0) return WaitResult::Woken;
        // A failed poll (no memory) reports ready, so the caller's read reports the failure.
        if (rc != 0) return WaitResult::Ready;
        if (limit) return WaitResult::TimedOut;
    }
}

}  // namespace tg
