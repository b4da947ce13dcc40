#pragma once
// Whether a reader delivers its records itself or hands them to its delivery thread. Handing
// over pays only when delivering costs a fair part of what splitting costs: for a cheap
// delivery (a counting listener), waking the other thread and moving every line to its core
// cost more than the delivery itself. The reader measures both per line over windows of
// kWindowLines split lines, and switches when kVotes windows in a row ask for it, with some
// margin between the two ways so that it does not flip at the border. Splitting counts as
// splitting wherever it is done (the delivery thread splits the lines the reader left it). A
// reader thread only; the delivery thread's figures come in as its running totals.

#include <algorithm>
#include <chrono>
#include <cstdint>

namespace tg {

class DeliveryPace {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::uint64_t kWindowLines = 1024;
    static constexpr int kVotes = 3;

    bool deliversInline() const { return m_inline; }
    void split(std::uint64_t lines, Clock::duration took) {
        m_splitLines += lines;
        m_splitNanos += nanos(took);
    }
    // Lines the reader delivered itself.
    void deliveredInline(std::uint64_t lines, Clock::duration took) {
        m_inlineLines += lines;
        m_inlineNanos += nanos(took);
    }
    bool windowFull() const { return m_splitLines >= kWindowLines; }
    // Ends a window; `threadNanos`, `threadLines`, `threadSplitNanos`: the delivery thread's
    // busy time, lines delivered and time spent splitting lines so far. True when the way of
    // delivering changes.
    bool decide(std::uint64_t threadNanos, std::uint64_t threadLines,
                std::uint64_t threadSplitNanos) {
        std::uint64_t deliverNanos = m_inlineNanos;
        std::uint64_t deliverLines = m_inlineLines;
        std::uint64_t deferredNanos = 0;
        if (!m_inline) {
            deliverNanos = threadNanos - m_threadNanos;
            deliverLines = threadLines - m_threadLines;
            // Its splitting may be counted before the batch's busy time: at most all of it.
            deferredNanos = std::min(threadSplitNanos - m_threadSplitNanos, deliverNanos);
            deliverNanos -= deferredNanos;
        }
        bool change = false;
        // A delivery thread that ended no batch in a whole window is no cheap one.
        if (deliverLines > 0 && m_splitLines > 0) {
            const double deliverEach = static_cast<double>(deliverNanos) / deliverLines;
            const double splitEach = static_cast<double>(m_splitNanos) / m_splitLines +
                                     static_cast<double>(deferredNanos) / deliverLines;
            change = m_inline ? deliverEach * 2 > splitEach : deliverEach * 3 < splitEach;
        }
        m_threadNanos = threadNanos;
        m_threadLines = threadLines;
        m_threadSplitNanos = threadSplitNanos;
        m_splitLines = m_splitNanos = m_inlineLines = m_inlineNanos = 0;
        // A window the reader spent partly preempted says little: only several in a row
        // change the way.
        m_votes = change ? m_votes + 1 : 0;
        if (m_votes < kVotes) return false;
        m_votes = 0;
        m_inline = !m_inline;
        return true;
    }

    static std::uint64_t nanos(Clock::duration took) {
        return static_cast<std::uint64_t>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(took).count());
    }

private:
    bool m_inline = false;
    int m_votes = 0;  // windows in a row that asked for the other way
    std::uint64_t m_splitLines = 0;
    std::uint64_t m_splitNanos = 0;
    std::uint64_t m_inlineLines = 0;
    std::uint64_t m_inlineNanos = 0;
    // The delivery thread's totals at the end of the last window.
    std::uint64_t m_threadNanos = 0;
    std::uint64_t m_threadLines = 0;
    std::uint64_t m_threadSplitNanos = 0;
};

}  // namespace tg
