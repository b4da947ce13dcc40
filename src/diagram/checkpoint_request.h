#pragma once
// How a diagram asks for its data to be stored soon, without knowing who stores it. A change
// that the store already holds (a reset's new definition, an erased axis key) while the old
// data is still stored asks here, so that the two do not stay apart until the next periodic
// checkpoint.
//
// Any thread. The connected function runs on the asking thread, possibly under a source's and
// a diagram's lock, so it must only wake another thread. connect waits for a running ask to
// end: after connect(nullptr) the old function is never called again.

#include <functional>
#include <mutex>
#include <utility>

namespace tg {

class CheckpointRequest {
public:
    void connect(std::function<void()> ask) {
        std::lock_guard lock(m_mutex);
        m_ask = std::move(ask);
    }
    void ask() const {
        std::lock_guard lock(m_mutex);
        if (m_ask) m_ask();
    }

private:
    mutable std::mutex m_mutex;
    std::function<void()> m_ask;  // guarded by m_mutex
};

}  // namespace tg
