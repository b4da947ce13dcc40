#include "datasource/delivery_thread.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace tg {

DeliveryThread::DeliveryThread(std::function<void(ParseBatch&)> deliver,
                               std::function<bool()> stopping)
    : m_deliver(std::move(deliver)), m_stopping(std::move(stopping)), m_thread([this] { run(); }) {}

DeliveryThread::~DeliveryThread() {
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_inFlight; });
        m_quit = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void DeliveryThread::handOverAdded() {
    std::unique_lock lock(m_mutex);
    // Too much waits already: the reader waits until it can hand its lines over.
    const bool full = m_filling.count >= kMaxWaitingLines;
    if (!m_inFlight) {
        m_deferredShare = std::min(kMaxShare, m_deferredShare + 1);
    } else if (full && m_ready.used && m_deferredShare > 0) {
        --m_deferredShare;
    }
    handOverAndWait(lock, full);
}

void DeliveryThread::flush() {
    if (std::this_thread::get_id() == m_thread.get_id()) return;
    std::unique_lock lock(m_mutex);
    // The reader is about to wait for input: its lines must not wait with it.
    handOverAndWait(lock, true);
}

void DeliveryThread::drain() {
    if (std::this_thread::get_id() == m_thread.get_id()) return;
    std::unique_lock lock(m_mutex);
    for (;;) {
        handOver();
        if (!m_inFlight) break;  // idle: delivered all it could
        m_changed.wait(lock, [this] { return !m_inFlight || (m_filling.used && !m_ready.used); });
    }
    rethrowFailure();
}

void DeliveryThread::handOverAndWait(std::unique_lock<std::mutex>& lock, bool wait) {
    handOver();
    if (wait && m_filling.used) {
        // The ready batch waits still: until the delivery thread takes it, or ends (a stop).
        m_changed.wait(lock, [this] { return !m_inFlight || !m_ready.used; });
        handOver();
    }
    rethrowFailure();
}

void DeliveryThread::handOver() {
    startReady();
    if (m_filling.used && !m_ready.used) {
        std::swap(m_filling, m_ready);
        m_filling.reset();
    }
    startReady();
}

void DeliveryThread::startReady() {
    // Lines a stop left in the batch delivered last stay there until the reader takes them
    // back, and so do the lines after them.
    if (!m_inFlight && m_ready.used && m_delivering.delivered == m_delivering.count) {
        std::swap(m_ready, m_delivering);
        m_ready.reset();
        m_inFlight = true;
        m_changed.notify_all();
    }
}

void DeliveryThread::rethrowFailure() {
    if (m_failure) std::rethrow_exception(std::exchange(m_failure, nullptr));
}

void DeliveryThread::run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_inFlight || m_quit; });
        if (!m_inFlight) return;  // asked to quit with nothing in flight
        lock.unlock();
        std::exception_ptr failure;
        const auto began = std::chrono::steady_clock::now();
        try {
            m_deliver(m_delivering);
        } catch (...) {
            failure = std::current_exception();
        }
        const auto took = std::chrono::steady_clock::now() - began;
        m_busyNanos.fetch_add(
            static_cast<std::uint64_t>(
                std::chrono::duration_cast<std::chrono::nanoseconds>(took).count()),
            std::memory_order_relaxed);
        m_linesDelivered.fetch_add(m_delivering.delivered, std::memory_order_relaxed);
        m_splitNanos.fetch_add(std::exchange(m_delivering.splitNanos, 0),
                               std::memory_order_relaxed);
        lock.lock();
        if (failure && !m_failure) m_failure = failure;
        // What the reader handed over meanwhile comes next, without a sleep in between;
        // after a stop it stays where it is.
        if (m_ready.used && m_delivering.delivered == m_delivering.count && !m_stopping()) {
            std::swap(m_ready, m_delivering);
            m_ready.reset();
            m_changed.notify_all();  // a reader waiting for room
            continue;
        }
        m_inFlight = false;
        m_changed.notify_all();
    }
}

}  // namespace tg
