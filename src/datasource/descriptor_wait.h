#pragma once
// Waits for a descriptor of a reader's transport, and at the same time for the source's
// wake-up, so that every wait of a reader ends when a stop is asked. Reader thread only.

#include <chrono>
#include <optional>

namespace tg {

class WakeEvent;

enum class WaitResult { Ready, TimedOut, Woken };

// Until `fd` reports one of `events` (poll flags; an error or hang-up counts as ready too), the
// wake-up is signalled (which wins over a ready descriptor), or `limit` has passed (none: no
// limit). Resumes after signals.
WaitResult waitForDescriptor(int fd, short events, const WakeEvent& wake,
                             std::optional<std::chrono::milliseconds> limit);

}  // namespace tg
