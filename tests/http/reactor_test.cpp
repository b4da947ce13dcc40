#include "http/reactor.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "platform/unique_fd.h"

namespace tg {
namespace {

using namespace std::chrono_literals;

struct Pipe {
    Pipe() {
        int fds[2];
        EXPECT_EQ(pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0);
        read.reset(fds[0]);
        write.reset(fds[1]);
    }
    void put() { ASSERT_EQ(::write(write.get(), "x", 1), 1); }
    void drain() {
        char buffer[64];
        while (::read(read.get(), buffer, sizeof buffer) > 0) {
        }
    }
    UniqueFd read, write;
};

// Runs rounds until `done` or a generous bound passes.
template <class Done>
bool runUntil(Reactor& reactor, Done done) {
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!done() && std::chrono::steady_clock::now() < deadline) reactor.runOnce(100ms);
    return done();
}

TEST(Reactor, HandlerMayUnwatchItselfAndOthersWithinOneRound) {
    Reactor reactor;
    Pipe first, second;
    int firstCalls = 0, secondCalls = 0;
    reactor.watch(first.read.get(), Reactor::kReadable, [&](unsigned ready) {
        EXPECT_TRUE(ready & Reactor::kReadable);
        ++firstCalls;
        first.drain();
        reactor.unwatch(first.read.get());
        reactor.unwatch(second.read.get());
    });
    reactor.watch(second.read.get(), Reactor::kReadable, [&](unsigned) { ++secondCalls; });
    first.put();
    ASSERT_TRUE(runUntil(reactor, [&] { return firstCalls == 1; }));
    second.put();
    first.put();
    reactor.runOnce(50ms);
    EXPECT_EQ(firstCalls, 1);
    EXPECT_LE(secondCalls, 1);  // it may have run before the unwatch, never after
}

TEST(Reactor, PeerThatEndsItsSendingIsReadableAndOnlyAFullCloseIsAHangup) {
    Reactor reactor;
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds), 0);
    UniqueFd mine(fds[0]), peer(fds[1]);
    unsigned seen = 0;
    reactor.watch(mine.get(), Reactor::kReadable | Reactor::kWritable,
                  [&](unsigned ready) { seen = ready; });
    ::shutdown(peer.get(), SHUT_WR);  // half-closed: it still reads what it is sent
    ASSERT_TRUE(runUntil(reactor, [&] { return (seen & Reactor::kReadable) != 0; }));
    EXPECT_FALSE(seen & Reactor::kHangup);
    reactor.modify(mine.get(), Reactor::kWritable);
    peer.reset();
    ASSERT_TRUE(runUntil(reactor, [&] { return (seen & Reactor::kHangup) != 0; }));
}

TEST(Reactor, TimersRunInDeadlineOrderAndCancelledOnesNever) {
    Reactor reactor;
    std::vector<int> order;
    reactor.after(30ms, [&] { order.push_back(3); });
    const Reactor::TimerId cancelled = reactor.after(10ms, [&] { order.push_back(99); });
    reactor.after(0ms, [&] {
        order.push_back(1);
        reactor.after(15ms, [&] { order.push_back(2); });  // added from inside a timer
    });
    reactor.cancel(cancelled);
    // The loop's descriptor is readable once a timer is due, for an outer loop to notice.
    pollfd pfd{reactor.fd(), POLLIN, 0};
    EXPECT_EQ(poll(&pfd, 1, 20000), 1);
    ASSERT_TRUE(runUntil(reactor, [&] { return order.size() == 3; }));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    reactor.cancel(cancelled);  // long gone: nothing happens
}

TEST(Reactor, StopFromAnotherThreadEndsRun) {
    Reactor reactor;
    std::thread stopper([&] { reactor.stop(); });
    reactor.run();  // returns once stopped
    stopper.join();
    EXPECT_TRUE(reactor.stopped());
    EXPECT_FALSE(reactor.runOnce(0ms));
}

}  // namespace
}  // namespace tg
