#include "regex/regex_size.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "regex/ere_scanner.h"

namespace tg {
namespace {

constexpr std::size_t kSaturated = static_cast<std::size_t>(1) << 40;

std::size_t add(std::size_t a, std::size_t b) { return std::min(a + b, kSaturated); }
std::size_t multiply(std::size_t a, std::size_t b) {
    return b != 0 && a > kSaturated / b ? kSaturated : std::min(a * b, kSaturated);
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
    using Kind = EreToken::Kind;
    for (EreScanner scanner(pattern); !scanner.atEnd(); scanner.advance()) {
        const EreToken& token = scanner.token();
        std::size_t repeat = 0, lower = 0;
        if (token.kind == Kind::Interval) {
            // "{m,}" is unbounded: glibc builds m copies and a loop.
            repeat = std::max<std::size_t>(
                {token.lower, token.comma && token.hasUpper ? token.upper : token.lower, 1});
            lower = token.lower;
            result.largestBound = std::max(result.largestBound, repeat);
        } else if (token.kind == Kind::Open) {
            frames.back().commit(result.emptyRun);
            frames.emplace_back();
            result.groupDepth = std::max(result.groupDepth, frames.size() - 1);
            last = 0;
            lastRepeats = 1;
        } else if (token.kind == Kind::Close && frames.size() > 1) {
            last = std::max<std::size_t>(frames.back().nodes, 1);
            lastRepeats = frames.back().repeats;
            frames.back().endAlternative(result.emptyRun);
            const Emptiness group = frames.back().asPiece();
            frames.pop_back();
            frames.back().nodes = add(frames.back().nodes, last);
            frames.back().pending = group;
        } else if (token.kind == Kind::Star || token.kind == Kind::Plus ||
                   token.kind == Kind::Question) {
            repeat = 2;
            lower = token.kind == Kind::Plus ? 1 : 0;
        } else if (token.kind == Kind::Alternation) {
            frames.back().endAlternative(result.emptyRun);
            last = 0;
            lastRepeats = 1;
        } else {
            // A byte, an escape, a bracket expression, a brace that is text, an unmatched ")"
            // or an anchor (anchors match the empty text).
            last = 1;
            lastRepeats = 1;
            frames.back().nodes = add(frames.back().nodes, 1);
            frames.back().commit(result.emptyRun);
            const bool anchor = token.kind == Kind::Begin || token.kind == Kind::End;
            frames.back().pending = anchor ? Emptiness{true, 0, 1, 1} : Emptiness{};
        }
        if (repeat) {
            Emptiness& piece =
                frames.back().pending ? *frames.back().pending : frames.back().pending.emplace();
            const bool loops =
                token.kind != Kind::Question && !(token.kind == Kind::Interval && repeat == 1);
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
