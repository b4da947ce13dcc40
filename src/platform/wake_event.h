#pragma once
// A wake-up that a stopping thread sends to a waiting one: an eventfd that stays signalled
// until cleared. Readers poll it beside their transport, so every wait ends when asked.
// signal() from any thread; waits and clear() on the waiting thread.

#include <chrono>

#include "platform/unique_fd.h"

namespace tg {

class WakeEvent {
public:
    WakeEvent();  // throws std::system_error when no eventfd can be made
    void signal();
    void clear();
    int fd() const { return m_fd.get(); }
    // True when signalled within `timeout` (the signal is left set).
    bool waitFor(std::chrono::milliseconds timeout) const;
    // Waits for `fd` to be readable or for the signal: 1 readable, 0 timed out, -1 signalled.
    [[nodiscard]] int waitReadable(int fd, std::chrono::milliseconds timeout) const;

private:
    UniqueFd m_fd;
};

}  // namespace tg
