#pragma once
// The event loop of the HTTP server: file descriptors with callbacks for readiness, and
// timers, on one epoll descriptor. Everything runs on the loop thread except stop(), which
// any thread (or a signal handler's helper) may call.
//
// Handlers may watch and unwatch any descriptor, their own included, and add or cancel
// timers; an unwatched descriptor's handler is not called again, even later in the same
// round. The epoll descriptor itself (fd()) becomes readable whenever the loop has work,
// timers included, so another event loop (Qt's) can drive this one with runOnce(0).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <unordered_map>
#include <vector>

#include "platform/unique_fd.h"

namespace tg {

class Reactor {
public:
    enum Ready : unsigned { kReadable = 1, kWritable = 2, kHangup = 4 };
    using Handler = std::function<void(unsigned ready)>;
    using TimerId = std::uint64_t;
    using Clock = std::chrono::steady_clock;

    Reactor();  // throws std::system_error when the kernel refuses the descriptors
    ~Reactor();
    Reactor(const Reactor&) = delete;
    Reactor& operator=(const Reactor&) = delete;

    // Calls `handler` when `fd` is ready for what `interest` names (kReadable, kWritable;
    // hang-ups and errors always come, as kHangup). A peer that only shuts down its sending
    // side is no hang-up: it shows as readable, for the read that finds the end. False when
    // the kernel refuses it.
    bool watch(int fd, unsigned interest, Handler handler);
    bool modify(int fd, unsigned interest);
    void unwatch(int fd);
    // unwatch() for a descriptor the caller closes right away, which ends the kernel's watch
    // by itself: saves a system call per connection. Events already collected for it are
    // dropped like those of any unwatched descriptor.
    void forgetClosing(int fd);

    // Calls `fn` once at the end of the current round (or of the next one, when called outside
    // a round): for work that must not run inside the handler asking for it.
    void defer(std::function<void()> fn);

    // Calls `fn` once, `delay` from now (or at `deadline`); cancelling a timer that has run does
    // nothing. Timers run in deadline order, equal deadlines in the order they were added.
    TimerId after(std::chrono::milliseconds delay, std::function<void()> fn);
    TimerId at(Clock::time_point deadline, std::function<void()> fn);
    void cancel(TimerId id);

    // Waits up to `maxWait` for work and does all that is ready; false once stopped.
    [[nodiscard]] bool runOnce(std::chrono::milliseconds maxWait);
    // Runs until stop().
    void run();
    // Any thread.
    void stop();
    bool stopped() const;

    int fd() const { return m_epoll.get(); }

private:
    struct Watch {
        int fd;
        Handler handler;
    };
    void armTimer();
    void runDueTimers();
    void runDeferred();

    UniqueFd m_epoll;
    UniqueFd m_timerFd;  // armed for the earliest timer
    UniqueFd m_wakeFd;   // stop() from another thread
    std::uint64_t m_nextKey = 1;
    std::unordered_map<int, std::uint64_t> m_keyOfFd;
    std::unordered_map<std::uint64_t, std::shared_ptr<Watch>> m_watches;
    TimerId m_nextTimer = 1;
    std::set<std::pair<Clock::time_point, TimerId>> m_deadlines;
    std::map<TimerId, std::pair<Clock::time_point, std::function<void()>>> m_timers;
    Clock::time_point m_armedFor{};  // the deadline the timerfd is set to; zero when disarmed
    std::vector<std::function<void()>> m_deferred;
    std::atomic<bool> m_stopped{false};
};

}  // namespace tg
