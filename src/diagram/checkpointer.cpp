#include "diagram/checkpointer.h"

#include <utility>

namespace tg {

Checkpointer::Checkpointer(Checkpoint& checkpoint, std::chrono::milliseconds interval)
    : m_checkpoint(checkpoint), m_interval(interval) {
    m_thread = std::thread([this] { run(); });
}

Checkpointer::~Checkpointer() { stop(); }

void Checkpointer::stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void Checkpointer::requestNow() {
    {
        std::lock_guard lock(m_mutex);
        m_requested = true;
    }
    m_wake.notify_all();
}

void Checkpointer::run() {
    std::unique_lock lock(m_mutex);
    const auto woken = [this] { return m_stopping || m_requested; };
    for (;;) {
        if (m_interval.count() > 0) {
            m_wake.wait_for(lock, m_interval, woken);
        } else {
            m_wake.wait(lock, woken);
        }
        if (m_stopping) return;
        const bool requested = std::exchange(m_requested, false);
        lock.unlock();
        m_checkpoint.write(requested);
        lock.lock();
    }
}

}  // namespace tg
