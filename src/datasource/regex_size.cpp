#include "datasource/regex_size.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace tg {
namespace {

constexpr std::size_t kSaturated = static_cast<std::size_t>(1) << 40;

std::size_t add(std::size_t a, std::size_t b) { return std::min(a + b, kSaturated); }
std::size_t multiply(std::size_t a, std::size_t b) {
    return b != 0 && a > kSaturated / b ? kSaturated : std::min(a * b, kSaturated);
}

// The index just past a bracket expression starting at `at` ("[").
std::size_t skipBracket(std::string_view pattern, std::size_t at) {
    std::size_t i = at + 1;
    if (i < pattern.size() && pattern[i] == '^') ++i;
    if (i < pattern.size() && pattern[i] == ']') ++i;  // a leading "]" is literal
    while (i < pattern.size() && pattern[i] != ']') {
        if (pattern[i] == '[' && i + 1 < pattern.size() &&
            (pattern[i + 1] == ':' || pattern[i + 1] == '.' || pattern[i + 1] == '=')) {
            const char kind = pattern[i + 1];
            const char closing[] = {kind, ']'};
            const std::size_t end = pattern.find(std::string_view(closing, 2), i + 2);
            i = end == std::string_view::npos ? pattern.size() : end + 2;
        } else {
            ++i;
        }
    }
    return std::min(i + 1, pattern.size());
}

// The larger bound of an interval "{m}", "{m,}" or "{m,n}" starting at `at`; 0 when the text
// is not an interval (glibc then reads the brace as a literal or fails to compile).
std::size_t intervalBound(std::string_view pattern, std::size_t at, std::size_t& end) {
    std::size_t i = at + 1, first = 0, second = 0;
    bool digits = false, comma = false, secondDigits = false;
    for (; i < pattern.size() && std::isdigit(static_cast<unsigned char>(pattern[i])); ++i) {
        first = std::min<std::size_t>(first * 10 + static_cast<std::size_t>(pattern[i] - '0'),
                                      1u << 20);
        digits = true;
    }
    if (i < pattern.size() && pattern[i] == ',') {
        comma = true;
        for (++i; i < pattern.size() && std::isdigit(static_cast<unsigned char>(pattern[i])); ++i) {
            second = std::min<std::size_t>(second * 10 + static_cast<std::size_t>(pattern[i] - '0'),
                                           1u << 20);
            secondDigits = true;
        }
    }
    if (i >= pattern.size() || pattern[i] != '}' || !digits) return 0;
    end = i + 1;
    // "{m,}" is unbounded: glibc builds m copies and a loop.
    return std::max<std::size_t>({first, comma && secondDigits ? second : first, 1});
}

struct Estimate {
    std::size_t nodes = 0;
    std::size_t nestedRepeats = 1;  // the largest product of nested repetition counts
    std::size_t largestBound = 0;   // the largest count of any interval
};

Estimate estimate(std::string_view pattern) {
    struct Frame {
        std::size_t nodes = 0;
        std::size_t repeats = 1;  // the largest product of nested counts inside the group
    };
    Estimate result;
    std::vector<Frame> frames(1);  // each open group so far
    std::size_t last = 0;          // the size of the piece a quantifier would repeat
    std::size_t lastRepeats = 1;   // the product of the counts already applied to that piece
    for (std::size_t i = 0; i < pattern.size();) {
        const char c = pattern[i];
        std::size_t repeat = 0;
        std::size_t next = i + 1;
        if (c == '{') {
            repeat = intervalBound(pattern, i, next);  // 0: a literal brace
            result.largestBound = std::max(result.largestBound, repeat);
        }
        if (repeat) {
            // A quantifier: handled below.
        } else if (c == '(') {
            frames.emplace_back();
            last = 0;
            lastRepeats = 1;
        } else if (c == ')' && frames.size() > 1) {
            last = std::max<std::size_t>(frames.back().nodes, 1);
            lastRepeats = frames.back().repeats;
            frames.pop_back();
            frames.back().nodes = add(frames.back().nodes, last);
        } else if (c == '*' || c == '+' || c == '?') {
            repeat = 2;
        } else if (c == '|') {
            last = 0;
            lastRepeats = 1;
        } else {
            if (c == '[') next = skipBracket(pattern, i);
            if (c == '\\') next = std::min(i + 2, pattern.size());
            last = 1;
            lastRepeats = 1;
            frames.back().nodes = add(frames.back().nodes, 1);
        }
        if (repeat) {
            // The piece is copied `repeat` times in all: that many more nodes, once more each.
            frames.back().nodes = add(frames.back().nodes, multiply(last, repeat - 1));
            last = multiply(last, repeat);
            lastRepeats = multiply(lastRepeats, repeat);
            frames.back().repeats = std::max(frames.back().repeats, lastRepeats);
            result.nestedRepeats = std::max(result.nestedRepeats, lastRepeats);
        }
        i = next;
    }
    for (const Frame& frame : frames) result.nodes = add(result.nodes, frame.nodes);
    return result;
}

}  // namespace

std::size_t estimatedRegexNodes(std::string_view pattern) { return estimate(pattern).nodes; }

bool regexCostAcceptable(std::string_view pattern) {
    const Estimate cost = estimate(pattern);
    return cost.nodes <= kMaxRegexNodes && cost.largestBound <= kMaxRepeatBound &&
           cost.nestedRepeats <= kMaxNestedRepeats;
}

}  // namespace tg
