#include "diagram/checkpointer.h"

namespace tg {

Checkpointer::Checkpointer(Checkpoint& checkpoint, std::chrono::milliseconds interval)
    : m_checkpoint(checkpoint), m_interval(interval) {
    if (m_interval.count() > 0) m_thread = std::thread([this] { run(); });
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

void Checkpointer::run() {
    std::unique_lock lock(m_mutex);
    while (!m_wake.wait_for(lock, m_interval, [this] { return m_stopping; })) {
        lock.unlock();
        m_checkpoint.write();
        lock.lock();
    }
}

}  // namespace tg
