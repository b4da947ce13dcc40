#include "diagram/checkpointer.h"

#include <utility>

namespace tg {

Checkpointer::Checkpointer(Checkpoint& checkpoint, std::chrono::milliseconds interval,
                           Report report)
    : m_checkpoint(checkpoint), m_interval(interval), m_report(std::move(report)) {
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
        writeAndReport(requested);
        lock.lock();
    }
}

bool Checkpointer::writeAndReport(bool force) {
    std::lock_guard reporting(m_reporting);
    const auto start = std::chrono::steady_clock::now();
    const bool written = m_checkpoint.write(force);
    {
        std::lock_guard lock(m_statsLock);
        ++m_stats.attempts;
        m_stats.lastSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        m_stats.lastSucceeded = written;
    }
    const std::string reason = written ? std::string() : m_checkpoint.failure();
    if (reason == m_failing) return written;
    if (m_report) m_report(written ? std::string(kRecovered) : kFailed + reason);
    m_failing = reason;
    return written;
}

CheckpointStats Checkpointer::stats() const {
    std::lock_guard lock(m_statsLock);
    return m_stats;
}

}  // namespace tg
