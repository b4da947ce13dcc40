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

}  // namespace

std::size_t estimatedRegexNodes(std::string_view pattern) {
    std::vector<std::size_t> frames{0};  // the size of each open group so far
    std::size_t last = 0;                // the size of the piece a quantifier would repeat
    for (std::size_t i = 0; i < pattern.size();) {
        const char c = pattern[i];
        std::size_t repeat = 0;
        std::size_t next = i + 1;
        if (c == '{') repeat = intervalBound(pattern, i, next);  // 0: a literal brace
        if (repeat) {
            // A quantifier: handled below.
        } else if (c == '(') {
            frames.push_back(0);
            last = 0;
        } else if (c == ')' && frames.size() > 1) {
            last = std::max<std::size_t>(frames.back(), 1);
            frames.pop_back();
            frames.back() = add(frames.back(), last);
        } else if (c == '*' || c == '+' || c == '?') {
            repeat = 2;
        } else if (c == '|') {
            last = 0;
        } else {
            if (c == '[') next = skipBracket(pattern, i);
            if (c == '\\') next = std::min(i + 2, pattern.size());
            last = 1;
            frames.back() = add(frames.back(), 1);
        }
        if (repeat) {
            // The piece is copied `repeat` times in all: that many more nodes, once more each.
            frames.back() = add(frames.back(), multiply(last, repeat - 1));
            last = multiply(last, repeat);
        }
        i = next;
    }
    std::size_t total = 0;
    for (std::size_t size : frames) total = add(total, size);
    return total;
}

}  // namespace tg
