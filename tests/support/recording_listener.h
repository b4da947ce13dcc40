#pragma once
// A listener for tests: keeps what it receives and lets a test wait, with a generous bound,
// until enough has arrived. Safe to call from a reader thread while a test thread waits.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "datasource/record_listener.h"

namespace tg::test {

class RecordingListener : public RecordListener {
public:
    void processRecord(const Record& record, const FieldNames&) override {
        std::lock_guard lock(m_mutex);
        m_processed.push_back(record);
        m_changed.notify_all();
    }
    void observeRecord(const Record& record, const FieldNames&) override {
        std::lock_guard lock(m_mutex);
        m_observed.push_back(record);
        m_changed.notify_all();
    }
    void reset() override {
        std::lock_guard lock(m_mutex);
        ++m_resets;
        m_changed.notify_all();
    }

    std::vector<Record> processed() const {
        std::lock_guard lock(m_mutex);
        return m_processed;
    }
    std::vector<Record> observed() const {
        std::lock_guard lock(m_mutex);
        return m_observed;
    }
    int resets() const {
        std::lock_guard lock(m_mutex);
        return m_resets;
    }
    // True when `count` records have been processed within the bound.
    bool waitForProcessed(std::size_t count,
                          std::chrono::seconds bound = std::chrono::seconds(20)) const {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, bound, [&] { return m_processed.size() >= count; });
    }
    bool waitForObserved(std::size_t count,
                         std::chrono::seconds bound = std::chrono::seconds(20)) const {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, bound, [&] { return m_observed.size() >= count; });
    }

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<Record> m_processed;
    std::vector<Record> m_observed;
    int m_resets = 0;
};

}  // namespace tg::test
