#include "http/status_counts.h"

#include <array>
#include <atomic>

namespace tg {
namespace {

constexpr int kLowest = 100;
constexpr int kHighest = 599;
// Slot 0 counts heads without a recognisable code.
std::array<std::atomic<std::uint64_t>, kHighest - kLowest + 2> g_counts{};

int statusCodeOf(std::string_view head) {
    const std::size_t blank = head.find(' ');
    if (blank == std::string_view::npos || head.size() < blank + 4) return 0;
    int code = 0;
    for (std::size_t i = blank + 1; i < blank + 4; ++i) {
        if (head[i] < '0' || head[i] > '9') return 0;
        code = code * 10 + (head[i] - '0');
    }
    return code >= kLowest && code <= kHighest ? code : 0;
}

}  // namespace

void countAnswer(std::string_view head) {
    const int code = statusCodeOf(head);
    g_counts[code == 0 ? 0 : code - kLowest + 1].fetch_add(1, std::memory_order_relaxed);
}

std::vector<std::pair<int, std::uint64_t>> answerCounts() {
    std::vector<std::pair<int, std::uint64_t>> counts;
    for (std::size_t slot = 0; slot < g_counts.size(); ++slot) {
        const std::uint64_t count = g_counts[slot].load(std::memory_order_relaxed);
        if (count == 0) continue;
        counts.emplace_back(slot == 0 ? 0 : static_cast<int>(slot) - 1 + kLowest, count);
    }
    return counts;
}

}  // namespace tg
