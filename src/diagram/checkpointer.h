#pragma once
// Writes a checkpoint at a fixed interval on a thread of its own, while anything changed, and
// at once when asked (requestNow).
// Destruction (or stop) ends the thread promptly; the final checkpoint of an orderly shutdown
// is the owner's: stop the readers, then Checkpoint::write(true).
//
// Failures are reported, not repeated: the first failed checkpoint reports its reason, later
// ones only when the reason changes, and the first success after them reports the recovery.
// The report function is called on the checkpoint thread (or writeAndReport's caller).

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "diagram/checkpoint.h"

namespace tg {

// The last checkpoint written or tried; any thread.
struct CheckpointStats {
    std::uint64_t attempts = 0;  // checkpoints tried so far
    double lastSeconds = 0;      // how long the last one took
    bool lastSucceeded = true;   // true until one fails
};

class Checkpointer {
public:
    using Report = std::function<void(const std::string& text)>;
    static constexpr const char* kFailed = "Cannot write the checkpoint: ";  // then the reason
    static constexpr const char* kRecovered = "Checkpoint written again";

    // An interval of 0 writes only when asked.
    Checkpointer(Checkpoint& checkpoint, std::chrono::milliseconds interval, Report report = {});
    ~Checkpointer();
    Checkpointer(const Checkpointer&) = delete;
    Checkpointer& operator=(const Checkpointer&) = delete;

    void stop();
    // Wakes the thread for a checkpoint now, written even when nothing seems changed (an
    // erased key changes no count). Requests made while one is written lead to one more.
    // Any thread, under any lock: it only wakes the thread.
    void requestNow();
    // One checkpoint now, on the calling thread, reported as the periodic ones are.
    bool writeAndReport(bool force = false);
    CheckpointStats stats() const;

private:
    void run();

    Checkpoint& m_checkpoint;
    const std::chrono::milliseconds m_interval;
    const Report m_report;
    std::mutex m_reporting;
    std::string m_failing;  // the reason last reported; empty while writes succeed

    mutable std::mutex m_statsLock;
    CheckpointStats m_stats;  // guarded by m_statsLock

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;  // guarded by m_mutex
    bool m_requested = false;  // guarded by m_mutex
    std::thread m_thread;
};

}  // namespace tg
