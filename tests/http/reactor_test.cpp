#include "http/reactor.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>
#include <utility>
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
    while (!done() && std::chrono::steady_clock::now() < deadline) (void)reactor.runOnce(100ms);
    return done();
}

// Both pipes are readable before the one round that runs: first every handler runs in it,
// then, watched again, whichever runs first unwatches both and the other is not called.
TEST(Reactor, HandlerMayUnwatchItselfAndOthersWithinOneRound) {
    Reactor reactor;
    Pipe first, second;
    int firstCalls = 0, secondCalls = 0;
    auto watchBoth = [&](bool unwatchBoth) {
        for (auto [pipe, calls] : {std::pair{&first, &firstCalls}, {&second, &secondCalls}}) {
            reactor.watch(pipe->read.get(), Reactor::kReadable, [&, calls = calls](unsigned ready) {
                EXPECT_TRUE(ready & Reactor::kReadable);
                ++*calls;
                if (!unwatchBoth) return;
                reactor.unwatch(first.read.get());
                reactor.unwatch(second.read.get());
            });
        }
    };
    first.put();
    second.put();
    pollfd ready[] = {{first.read.get(), POLLIN, 0}, {second.read.get(), POLLIN, 0}};
    ASSERT_EQ(poll(ready, 2, 0), 2);

    watchBoth(false);
    ASSERT_TRUE(reactor.runOnce(0ms));
    ASSERT_EQ(firstCalls + secondCalls, 2) << "both ready descriptors come in one round";

    firstCalls = secondCalls = 0;
    watchBoth(true);  // the data is still unread: both are ready again
    ASSERT_TRUE(reactor.runOnce(0ms));
    EXPECT_EQ(firstCalls + secondCalls, 1);
    (void)reactor.runOnce(0ms);
    EXPECT_EQ(firstCalls + secondCalls, 1) << "unwatched for good";
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

// The deadlines are fixed before any round runs, so however late the rounds come (a stalled
// thread, a sanitizer) the order is the same: by deadline, equal ones in the order added.
TEST(Reactor, TimersRunInDeadlineOrderAndCancelledOnesNever) {
    Reactor reactor;
    int round = 0;
    std::vector<int> order;
    std::vector<int> rounds;
    auto record = [&](int label) {
        order.push_back(label);
        rounds.push_back(round);
    };
    const Reactor::Clock::time_point start = Reactor::Clock::now();
    reactor.at(start + 30ms, [&] {
        record(4);
        reactor.after(0ms, [&] { record(5); });  // added from inside a timer, already due
    });
    reactor.at(start + 20ms, [&] { record(2); });
    const Reactor::TimerId cancelled = reactor.at(start + 10ms, [&] { record(99); });
    reactor.at(start + 20ms, [&] { record(3); });
    reactor.at(start, [&] { record(1); });
    reactor.cancel(cancelled);
    // The loop's descriptor is readable once a timer is due, for an outer loop to notice.
    pollfd pfd{reactor.fd(), POLLIN, 0};
    EXPECT_EQ(poll(&pfd, 1, 20000), 1);
    ASSERT_TRUE(runUntil(reactor, [&] {
        ++round;
        return order.size() == 5;
    }));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_GT(rounds[4], rounds[3]) << "a timer added by a timer waits for the next round";
    reactor.cancel(cancelled);  // long gone: nothing happens

    // The earliest timer cancelled: a later one still runs.
    const Reactor::TimerId first = reactor.after(10ms, [&] { record(98); });
    reactor.after(30ms, [&] { record(6); });
    reactor.cancel(first);
    ASSERT_TRUE(runUntil(reactor, [&] { return order.size() == 6; }));
    EXPECT_EQ(order.back(), 6);
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
