#pragma once
// Counts of the answers the HTTP server sent, by status code, for the process's metrics.
// Process-wide; any thread, without locks (relaxed atomics).

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace tg {

// Counts the answer whose head starts "HTTP/1.0 NNN"; a head without a status code in
// 100..599 is counted under 0.
void countAnswer(std::string_view head);
// Every status code answered at least once, ascending, with its count.
std::vector<std::pair<int, std::uint64_t>> answerCounts();

}  // namespace tg
