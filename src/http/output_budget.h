#pragma once
// The bytes of answers that the connections of one server hold in memory together, waiting
// for their clients to take them, and the most they may hold. The connections count what they
// hold; the server closes the connections that have gone longest without sending when the
// total passes the limit. Changed on the server's thread only; held() may be read anywhere.

#include <atomic>
#include <cstddef>

namespace tg {

class OutputBudget {
public:
    // Room for two downloads of a million-label diagram at once (each holds a copy of the
    // diagram's data, ~45 MB) before the longest-waiting connection is closed.
    static constexpr std::size_t kDefaultLimit = std::size_t{128} << 20;

    std::size_t held() const { return m_held.load(std::memory_order_relaxed); }
    std::size_t limit() const { return m_limit; }
    void setLimit(std::size_t bytes) { m_limit = bytes; }
    bool over() const { return held() > m_limit; }

    // One holder's bytes went from `from` to `to`.
    void change(std::size_t from, std::size_t to) {
        if (to >= from) {
            m_held.fetch_add(to - from, std::memory_order_relaxed);
        } else {
            m_held.fetch_sub(from - to, std::memory_order_relaxed);
        }
    }

private:
    std::atomic<std::size_t> m_held{0};
    std::size_t m_limit = kDefaultLimit;
};

}  // namespace tg
