#include "http/reactor.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <vector>

namespace tg {
namespace {

// Epoll data keys of the loop's own descriptors; watched descriptors count up from 1.
constexpr std::uint64_t kTimerKey = 0;
constexpr std::uint64_t kWakeKey = ~std::uint64_t{0};

// No EPOLLRDHUP: a peer that only ends its sending is no hang-up (it may still read an answer
// whole); a watcher that reads finds the end as an empty read.
std::uint32_t epollEvents(unsigned interest) {
    std::uint32_t events = 0;
    if (interest & Reactor::kReadable) events |= EPOLLIN;
    if (interest & Reactor::kWritable) events |= EPOLLOUT;
    return events;
}

unsigned readyOf(std::uint32_t events) {
    unsigned ready = 0;
    if (events & EPOLLIN) ready |= Reactor::kReadable;
    if (events & EPOLLOUT) ready |= Reactor::kWritable;
    if (events & (EPOLLHUP | EPOLLERR)) ready |= Reactor::kHangup;
    return ready;
}

UniqueFd checked(int fd, const char* what) {
    if (fd < 0) throw std::system_error(errno, std::generic_category(), what);
    return UniqueFd(fd);
}

void addInternal(int epoll, int fd, std::uint64_t key) {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = key;
    if (epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &event) != 0) {
        throw std::system_error(errno, std::generic_category(), "epoll_ctl");
    }
}

}  // namespace

Reactor::Reactor()
    : m_epoll(checked(epoll_create1(EPOLL_CLOEXEC), "epoll_create1")),
      m_timerFd(checked(timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK), "timerfd")),
      m_wakeFd(checked(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK), "eventfd")) {
    addInternal(m_epoll.get(), m_timerFd.get(), kTimerKey);
    addInternal(m_epoll.get(), m_wakeFd.get(), kWakeKey);
}

Reactor::~Reactor() = default;

bool Reactor::watch(int fd, unsigned interest, Handler handler) {
    unwatch(fd);
    const std::uint64_t key = m_nextKey++;
    epoll_event event{};
    event.events = epollEvents(interest);
    event.data.u64 = key;
    if (epoll_ctl(m_epoll.get(), EPOLL_CTL_ADD, fd, &event) != 0) return false;
    m_keyOfFd[fd] = key;
    m_watches[key] = std::make_shared<Watch>(Watch{fd, std::move(handler)});
    return true;
}

bool Reactor::modify(int fd, unsigned interest) {
    auto it = m_keyOfFd.find(fd);
    if (it == m_keyOfFd.end()) return false;
    epoll_event event{};
    event.events = epollEvents(interest);
    event.data.u64 = it->second;
    return epoll_ctl(m_epoll.get(), EPOLL_CTL_MOD, fd, &event) == 0;
}

void Reactor::unwatch(int fd) {
    auto it = m_keyOfFd.find(fd);
    if (it == m_keyOfFd.end()) return;
    epoll_ctl(m_epoll.get(), EPOLL_CTL_DEL, fd, nullptr);
    m_watches.erase(it->second);  // a handler running now keeps itself alive (shared_ptr)
    m_keyOfFd.erase(it);
}

void Reactor::forgetClosing(int fd) {
    auto it = m_keyOfFd.find(fd);
    if (it == m_keyOfFd.end()) return;
    m_watches.erase(it->second);
    m_keyOfFd.erase(it);
}

Reactor::TimerId Reactor::after(std::chrono::milliseconds delay, std::function<void()> fn) {
    return at(Clock::now() + delay, std::move(fn));
}

Reactor::TimerId Reactor::at(Clock::time_point deadline, std::function<void()> fn) {
    const TimerId id = m_nextTimer++;
    m_timers.emplace(id, std::make_pair(deadline, std::move(fn)));
    m_deadlines.emplace(deadline, id);
    armTimer();
    return id;
}

void Reactor::cancel(TimerId id) {
    auto it = m_timers.find(id);
    if (it == m_timers.end()) return;
    m_deadlines.erase({it->second.first, id});
    m_timers.erase(it);
    armTimer();
}

void Reactor::armTimer() {
    // Only an earlier deadline touches the kernel's timer. One that moved later (the earliest
    // timer was cancelled, as a connection's idle timer is when it ends) leaves it: it then
    // fires early once, finds nothing due and is set again, where resetting it would cost a
    // system call for nearly every connection.
    const Clock::time_point earliest =
        m_deadlines.empty() ? Clock::time_point{} : m_deadlines.begin()->first;
    const bool armed = m_armedFor != Clock::time_point{};
    if (earliest == m_armedFor || (armed && (m_deadlines.empty() || earliest > m_armedFor))) {
        return;
    }
    m_armedFor = earliest;
    itimerspec setting{};
    if (!m_deadlines.empty()) {
        auto left = m_deadlines.begin()->first - Clock::now();
        if (left <= Clock::duration::zero()) left = std::chrono::nanoseconds(1);  // 0 disarms
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        setting.it_value.tv_sec = static_cast<time_t>(ns / 1000000000);
        setting.it_value.tv_nsec = static_cast<long>(ns % 1000000000);
    }
    timerfd_settime(m_timerFd.get(), 0, &setting, nullptr);
}

void Reactor::runDueTimers() {
    std::uint64_t expirations = 0;
    [[maybe_unused]] auto got = ::read(m_timerFd.get(), &expirations, sizeof expirations);
    m_armedFor = Clock::time_point{};  // it fired: whatever comes next is set afresh
    const Clock::time_point now = Clock::now();
    // Only timers due now: one that a callback adds with no delay waits for the next round.
    std::vector<TimerId> due;
    for (auto it = m_deadlines.begin(); it != m_deadlines.end() && it->first <= now; ++it) {
        due.push_back(it->second);
    }
    for (TimerId id : due) {
        auto it = m_timers.find(id);
        if (it == m_timers.end()) continue;  // cancelled by an earlier callback
        std::function<void()> fn = std::move(it->second.second);
        m_deadlines.erase({it->second.first, id});
        m_timers.erase(it);
        fn();
    }
    armTimer();
}

void Reactor::defer(std::function<void()> fn) { m_deferred.push_back(std::move(fn)); }

void Reactor::runDeferred() {
    while (!m_deferred.empty()) {
        std::vector<std::function<void()>> now;
        now.swap(m_deferred);
        for (auto& fn : now) fn();
    }
}

bool Reactor::runOnce(std::chrono::milliseconds maxWait) {
    if (stopped()) return false;
    if (!m_deferred.empty()) maxWait = std::chrono::milliseconds(0);
    epoll_event events[64];
    const int count = epoll_wait(m_epoll.get(), events, 64, static_cast<int>(maxWait.count()));
    if (count < 0 && errno != EINTR) throw std::system_error(errno, std::generic_category());
    for (int i = 0; i < count; ++i) {
        const std::uint64_t key = events[i].data.u64;
        if (key == kTimerKey) {
            runDueTimers();
            continue;
        }
        if (key == kWakeKey) continue;
        auto it = m_watches.find(key);
        if (it == m_watches.end()) continue;  // unwatched earlier in this round
        std::shared_ptr<Watch> watch = it->second;
        watch->handler(readyOf(events[i].events));
    }
    runDeferred();
    return !stopped();
}

void Reactor::run() {
    while (runOnce(std::chrono::milliseconds(-1))) {
    }
}

void Reactor::stop() {
    m_stopped = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] auto written = ::write(m_wakeFd.get(), &one, sizeof one);
}

bool Reactor::stopped() const { return m_stopped; }

}  // namespace tg
