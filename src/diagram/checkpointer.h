#pragma once
// Writes a checkpoint at a fixed interval on a thread of its own, while anything changed, and
// at once when asked (requestNow).
// Destruction (or stop) ends the thread promptly; the final checkpoint of an orderly shutdown
// is the owner's: stop the readers, then Checkpoint::write(true).

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "diagram/checkpoint.h"

namespace tg {

class Checkpointer {
public:
    // An interval of 0 writes only when asked.
    Checkpointer(Checkpoint& checkpoint, std::chrono::milliseconds interval);
    ~Checkpointer();
    Checkpointer(const Checkpointer&) = delete;
    Checkpointer& operator=(const Checkpointer&) = delete;

    void stop();
    // Wakes the thread for a checkpoint now, written even when nothing seems changed (an
    // erased key changes no count). Requests made while one is written lead to one more.
    // Any thread, under any lock: it only wakes the thread.
    void requestNow();

private:
    void run();

    Checkpoint& m_checkpoint;
    const std::chrono::milliseconds m_interval;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;  // guarded by m_mutex
    bool m_requested = false;  // guarded by m_mutex
    std::thread m_thread;
};

}  // namespace tg
