#include "datasource/delivery_thread.h"

#include <utility>

namespace tg {
namespace {

// A reader that has split this many lines ahead of the delivery waits for it.
constexpr std::size_t kMaxWaitingLines = 512;
// An idle delivery thread is woken once this many lines wait (or the reader is about to wait
// or settle): waking it for every chunk costs more than a cheap delivery.
constexpr std::size_t kWakeLines = 128;

}  // namespace

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

void DeliveryThread::add(const std::function<void(ParseBatch&)>& fill) {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_inFlight || m_filling.count < kMaxWaitingLines; });
    fill(m_filling);
    m_filling.used = true;
    if (m_filling.count >= kWakeLines) handOver();
    rethrowFailure();
}

void DeliveryThread::flush() {
    if (std::this_thread::get_id() == m_thread.get_id()) return;
    std::lock_guard lock(m_mutex);
    handOver();
}

void DeliveryThread::drain() {
    if (std::this_thread::get_id() == m_thread.get_id()) return;
    std::unique_lock lock(m_mutex);
    handOver();
    m_changed.wait(lock, [this] { return !m_inFlight; });
    rethrowFailure();
}

void DeliveryThread::handOver() {
    // Lines a stop left in the other batch stay there until the reader takes them back.
    if (m_inFlight || !m_filling.used || m_delivering.delivered != m_delivering.count) return;
    std::swap(m_filling, m_delivering);
    m_filling.reset();
    m_inFlight = true;
    m_changed.notify_all();
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
        try {
            m_deliver(m_delivering);
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        if (failure && !m_failure) m_failure = failure;
        // What the reader added meanwhile comes next, without a sleep in between; after a
        // stop it stays where it is.
        if (m_filling.used && m_delivering.delivered == m_delivering.count && !m_stopping()) {
            std::swap(m_filling, m_delivering);
            m_filling.reset();
            m_changed.notify_all();  // a reader waiting for room
            continue;
        }
        m_inFlight = false;
        m_changed.notify_all();
    }
}

}  // namespace tg
