#include "regex/regex_size.h"

#include <algorithm>
#include <cctype>
#include <optional>
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
std::size_t intervalBound(std::string_view pattern, std::size_t at, std::size_t& end,
                          std::size_t& lower) {
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
    lower = first;
    // "{m,}" is unbounded: glibc builds m copies and a loop.
    return std::max<std::size_t>({first, comma && secondDigits ? second : first, 1});
}

struct Estimate {
    std::size_t nodes = 0;
    std::size_t nestedRepeats = 1;  // the largest product of nested repetition counts
    std::size_t largestBound = 0;   // the largest count of any interval
    unsigned emptyLoopDepth = 0;    // the deepest nesting of repetitions of what may be empty
    std::size_t groupDepth = 0;     // the deepest nesting of groups, closed or not
    std::size_t emptyRun = 0;       // the longest run of parts that may all be skipped
};

// What may match the empty text, and how deeply repetitions of such parts nest in it. glibc
// takes exponential time to compile or to match once they nest ("((a||b)*||c)*" against "abc"
// never ends), while one level is harmless.
//
// glibc also keeps, for every node, the nodes reachable from it without reading a byte: a run
// of parts that may all be skipped ("(a?)(a?)(a?)...", "(()()()){255}") costs time and memory
// with the square of its length. `lead` and `tail` weigh the skippable parts at the piece's
// start and end, which join the runs before and after it (both the whole piece when it may
// be skipped); a group counts one more for its own skippable entry and exit.
struct Emptiness {
    bool nullable = false;
    unsigned depth = 0;
    std::size_t lead = 0;
    std::size_t tail = 0;
};

Estimate estimate(std::string_view pattern) {
    struct Frame {
        std::size_t nodes = 0;
        std::size_t repeats = 1;       // the largest product of nested counts inside the group
        bool sequenceNullable = true;  // every piece of the current alternative so far
        bool groupNullable = false;    // some finished alternative
        unsigned depth = 0;
        std::size_t run = 0;               // the skippable run ending the current alternative
        std::size_t lead = 0;              // the skippable run starting it
        std::size_t groupLead = 0;         // the finished alternatives' leads, added up
        std::size_t groupTail = 0;         // the finished alternatives' ending runs, added up
        std::optional<Emptiness> pending;  // the last piece, which a quantifier may still change

        void commit(std::size_t& longestRun) {
            if (!pending) return;
            run = add(run, pending->lead);
            longestRun = std::max(longestRun, run);
            if (sequenceNullable) lead = run;
            if (!pending->nullable) run = pending->tail;  // what follows joins only its end
            longestRun = std::max(longestRun, run);
            sequenceNullable = sequenceNullable && pending->nullable;
            depth = std::max(depth, pending->depth);
            pending.reset();
        }
        void endAlternative(std::size_t& longestRun) {
            commit(longestRun);
            groupNullable = groupNullable || sequenceNullable;
            groupLead = add(groupLead, lead);
            groupTail = add(groupTail, run);
            sequenceNullable = true;
            run = lead = 0;
        }
        // The group as a piece of the enclosing sequence; after endAlternative.
        Emptiness asPiece() const {
            if (groupNullable) {
                const std::size_t weight = add(std::max(groupLead, groupTail), 1);
                return Emptiness{true, depth, weight, weight};
            }
            return Emptiness{false, depth, add(groupLead, 1), add(groupTail, 1)};
        }
    };
    Estimate result;
    std::vector<Frame> frames(1);  // each open group so far
    std::size_t last = 0;          // the size of the piece a quantifier would repeat
    std::size_t lastRepeats = 1;   // the product of the counts already applied to that piece
    for (std::size_t i = 0; i < pattern.size();) {
        const char c = pattern[i];
        std::size_t repeat = 0, lower = 0;
        std::size_t next = i + 1;
        if (c == '{') {
            repeat = intervalBound(pattern, i, next, lower);  // 0: a literal brace
            result.largestBound = std::max(result.largestBound, repeat);
        }
        if (repeat) {
            // A quantifier: handled below.
        } else if (c == '(') {
            frames.back().commit(result.emptyRun);
            frames.emplace_back();
            result.groupDepth = std::max(result.groupDepth, frames.size() - 1);
            last = 0;
            lastRepeats = 1;
        } else if (c == ')' && frames.size() > 1) {
            last = std::max<std::size_t>(frames.back().nodes, 1);
            lastRepeats = frames.back().repeats;
            frames.back().endAlternative(result.emptyRun);
            const Emptiness group = frames.back().asPiece();
            frames.pop_back();
            frames.back().nodes = add(frames.back().nodes, last);
            frames.back().pending = group;
        } else if (c == '*' || c == '+' || c == '?') {
            repeat = 2;
            lower = c == '+' ? 1 : 0;
        } else if (c == '|') {
            frames.back().endAlternative(result.emptyRun);
            last = 0;
            lastRepeats = 1;
        } else {
            if (c == '[') next = skipBracket(pattern, i);
            if (c == '\\') next = std::min(i + 2, pattern.size());
            last = 1;
            lastRepeats = 1;
            frames.back().nodes = add(frames.back().nodes, 1);
            frames.back().commit(result.emptyRun);
            const bool anchor = c == '^' || c == '$';  // anchors match the empty text
            frames.back().pending = anchor ? Emptiness{true, 0, 1, 1} : Emptiness{};
        }
        if (repeat) {
            Emptiness& piece =
                frames.back().pending ? *frames.back().pending : frames.back().pending.emplace();
            const bool loops = c != '?' && !(c == '{' && repeat == 1);
            if (loops && piece.nullable) ++piece.depth;
            if (piece.nullable) {
                // Every copy may be skipped: all of them are one run.
                piece.lead = piece.tail = multiply(piece.lead, repeat);
            } else {
                // The end of each copy meets the start of the next.
                if (repeat > 1)
                    result.emptyRun = std::max(result.emptyRun, add(piece.tail, piece.lead));
                if (lower == 0) piece.lead = piece.tail = add(add(piece.lead, piece.tail), 1);
            }
            piece.nullable = piece.nullable || lower == 0;
            result.emptyLoopDepth = std::max(result.emptyLoopDepth, piece.depth);
            // The piece is copied `repeat` times in all: that many more nodes, once more each.
            frames.back().nodes = add(frames.back().nodes, multiply(last, repeat - 1));
            last = multiply(last, repeat);
            lastRepeats = multiply(lastRepeats, repeat);
            frames.back().repeats = std::max(frames.back().repeats, lastRepeats);
            result.nestedRepeats = std::max(result.nestedRepeats, lastRepeats);
        }
        i = next;
    }
    for (Frame& frame : frames) {
        frame.endAlternative(result.emptyRun);
        result.nodes = add(result.nodes, frame.nodes);
    }
    return result;  // every depth was counted into emptyLoopDepth as it grew
}

}  // namespace

std::size_t estimatedRegexNodes(std::string_view pattern) { return estimate(pattern).nodes; }

bool regexCostAcceptable(std::string_view pattern) {
    if (pattern.size() > kMaxPatternLength) return false;
    const Estimate cost = estimate(pattern);
    return cost.groupDepth <= kMaxGroupDepth && cost.emptyRun <= kMaxEmptyRun &&
           cost.nodes <= kMaxRegexNodes && cost.largestBound <= kMaxRepeatBound &&
           cost.nestedRepeats <= kMaxNestedRepeats && cost.emptyLoopDepth <= kMaxEmptyLoopDepth;
}

}  // namespace tg
