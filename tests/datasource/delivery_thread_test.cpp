// The reader's delivery thread: lines handed over in any rhythm arrive once each and in order,
// lines flushed before the reader waits for input never wait with it, and a stop leaves the
// rest in the batches so that taking them back newest first restores the input (run under
// ThreadSanitizer too).

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <numeric>
#include <random>
#include <thread>
#include <vector>

#include "datasource/delivery_thread.h"
#include "support/loopback_peer.h"

namespace tg {
namespace {

TEST(DeliveryThread, LinesArriveInOrderFlushedLinesNeverWaitAndAStopLeavesTheRestInOrder) {
    std::vector<std::uint64_t> delivered;  // the delivery thread's until drain returns
    std::atomic<std::size_t> deliveredCount{0};
    std::atomic<std::size_t> stopAfter{SIZE_MAX};
    std::atomic<bool> stop{false};
    // The first delivery waits until the gate opens.
    std::mutex gateMutex;
    std::condition_variable gateChanged;
    bool gateOpen = false;
    DeliveryThread thread(
        [&](ParseBatch& batch) {
            {
                std::unique_lock lock(gateMutex);
                gateChanged.wait(lock, [&] { return gateOpen; });
            }
            while (batch.delivered < batch.count && !stop) {
                delivered.push_back(batch.lines[batch.delivered++].parsedEnd);
                ++deliveredCount;
                if (delivered.size() == stopAfter) stop = true;
            }
        },
        [&] { return stop.load(); });

    std::uint64_t added = 0;
    std::mt19937 random(7);
    auto addChunks = [&](int chunks) {
        for (int chunk = 0; chunk < chunks; ++chunk) {
            const unsigned lines = random() % 200;  // some chunks end no line at all
            thread.add([&](ParseBatch& batch) {
                for (unsigned i = 0; i < lines; ++i) batch.add().parsedEnd = ++added;
            });
            if (chunk % 37 == 0) thread.flush();
        }
    };
    auto expectedUpTo = [](std::uint64_t last) {
        std::vector<std::uint64_t> lines(last);
        std::iota(lines.begin(), lines.end(), 1);
        return lines;
    };

    // One batch in delivery, one ready, and a few lines more: flushed before the reader would
    // wait for input, they arrive without any further call.
    auto addLines = [&](unsigned lines) {
        thread.add([&](ParseBatch& batch) {
            for (unsigned i = 0; i < lines; ++i) batch.add().parsedEnd = ++added;
        });
    };
    addLines(DeliveryThread::kWakeLines);
    addLines(DeliveryThread::kWakeLines);
    addLines(3);
    std::atomic<bool> flushing{false};
    std::thread opener([&] {
        while (!flushing) std::this_thread::yield();
        std::lock_guard lock(gateMutex);
        gateOpen = true;
        gateChanged.notify_all();
    });
    flushing = true;
    thread.flush();
    opener.join();
    EXPECT_TRUE(test::eventually([&] { return deliveredCount == added; }));

    addChunks(2000);
    thread.drain();
    EXPECT_EQ(delivered, expectedUpTo(added));

    stopAfter = delivered.size() + 700;
    addChunks(400);
    thread.drain();
    ASSERT_TRUE(stop);
    std::vector<std::uint64_t> rest;
    for (ParseBatch* batch : thread.batchesNewestFirst()) {
        std::vector<std::uint64_t> lines;
        for (std::size_t i = batch->delivered; i < batch->count; ++i)
            lines.push_back(batch->lines[i].parsedEnd);
        rest.insert(rest.begin(), lines.begin(), lines.end());
    }
    EXPECT_EQ(delivered.size(), stopAfter.load());
    delivered.insert(delivered.end(), rest.begin(), rest.end());
    EXPECT_EQ(delivered, expectedUpTo(added));
}

}  // namespace
}  // namespace tg
