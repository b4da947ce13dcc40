#include "regex/ere_determinism.h"

#include <algorithm>
#include <vector>

namespace tg {
namespace {

using Kind = EreNode::Kind;

// More atoms than this (after expanding intervals) are not checked: the follow sets grow with
// the square of their number.
constexpr std::size_t kMaxPositions = 4000;

struct Refused {
    std::string reason;
};

std::string at(std::size_t offset) { return " at offset " + std::to_string(offset); }

bool nullable(const EreNode& node) {
    switch (node.kind) {
        case Kind::Atom:
            return false;
        case Kind::Concat:
            return std::all_of(node.children.begin(), node.children.end(), nullable);
        case Kind::Alternation:
            return std::any_of(node.children.begin(), node.children.end(), nullable);
        case Kind::Group:
            return nullable(node.children[0]);
        case Kind::Repeat:
            return node.min == 0 || nullable(node.children[0]);
        case Kind::Begin:
        case Kind::End:
            return true;
    }
    return true;
}

// The shape rules. `inRepeat`: inside a part repeated more than once; `optional`: below an
// alternation or an optional part since entering it.
void checkShape(const EreNode& node, bool inRepeat, bool optional) {
    switch (node.kind) {
        case Kind::Atom:
            return;
        case Kind::Begin:
            throw Refused{"\"^\" not at the start of the expression" + at(node.offset)};
        case Kind::End:
            throw Refused{"\"$\" not at the end of the expression" + at(node.offset)};
        case Kind::Concat:
            for (const EreNode& child : node.children) checkShape(child, inRepeat, optional);
            return;
        case Kind::Alternation:
            for (std::size_t i = 0; i < node.children.size(); ++i) {
                if (i + 1 < node.children.size() && nullable(node.children[i]))
                    throw Refused{"an alternative that can be empty before the last" +
                                  at(node.children[i].offset)};
                checkShape(node.children[i], inRepeat, true);
            }
            return;
        case Kind::Group:
            if (inRepeat && optional)
                throw Refused{"a group that a repetition may skip" + at(node.offset)};
            checkShape(node.children[0], inRepeat, optional);
            return;
        case Kind::Repeat: {
            const EreNode& body = node.children[0];
            if (nullable(body))
                throw Refused{"a repeated part that can be empty" + at(node.offset)};
            const bool repeats = node.max == EreNode::kUnbounded || node.max > 1;
            if (repeats && !inRepeat) {
                checkShape(body, true, false);  // every repetition enters the body whole
            } else {
                checkShape(body, inRepeat || repeats, optional || node.min == 0);
            }
            return;
        }
    }
}

// Glushkov's construction over the expression with intervals expanded.
class Glushkov {
public:
    struct Sets {
        bool nullable = true;
        std::vector<std::size_t> first, last;
    };

    Sets build(const EreNode& node) {
        switch (node.kind) {
            case Kind::Atom: {
                if (m_bytes.size() >= kMaxPositions)
                    throw Refused{"too large to check (over " + std::to_string(kMaxPositions) +
                                  " atoms once intervals are expanded)"};
                m_bytes.push_back(node.bytes);
                m_offsets.push_back(node.offset);
                m_follow.emplace_back();
                const std::size_t p = m_bytes.size() - 1;
                return Sets{false, {p}, {p}};
            }
            case Kind::Begin:
            case Kind::End:
                return Sets{};
            case Kind::Concat: {
                Sets sets;
                for (const EreNode& child : node.children) sets = sequence(sets, build(child));
                return sets;
            }
            case Kind::Alternation: {
                Sets sets;
                sets.nullable = false;
                for (const EreNode& child : node.children) {
                    Sets one = build(child);
                    sets.nullable = sets.nullable || one.nullable;
                    append(sets.first, one.first);
                    append(sets.last, one.last);
                }
                return sets;
            }
            case Kind::Group:
                return build(node.children[0]);
            case Kind::Repeat:
                return repeat(node);
        }
        return Sets{};
    }

    // The first ambiguous point: `first` (the start) or some atom's follow set whose atoms
    // share a byte.
    void checkDisjoint(const std::vector<std::size_t>& first) const {
        checkSet(first, "at the start");
        for (std::size_t p = 0; p < m_follow.size(); ++p)
            checkSet(m_follow[p], "after the atom" + at(m_offsets[p]));
    }

private:
    static void append(std::vector<std::size_t>& to, const std::vector<std::size_t>& from) {
        to.insert(to.end(), from.begin(), from.end());
    }

    Sets sequence(const Sets& a, const Sets& b) {
        for (std::size_t p : a.last) append(m_follow[p], b.first);
        Sets sets;
        sets.nullable = a.nullable && b.nullable;
        sets.first = a.first;
        if (a.nullable) append(sets.first, b.first);
        sets.last = b.last;
        if (b.nullable) append(sets.last, a.last);
        return sets;
    }

    Sets optional(Sets sets) {
        sets.nullable = true;
        return sets;
    }

    Sets loop(Sets sets) {
        for (std::size_t p : sets.last) append(m_follow[p], sets.first);
        return sets;
    }

    // min copies, then max - min nested optional copies ("a{1,3}" is "a(a(a)?)?", the way a
    // greedy engine takes it), or a looping last copy when unbounded.
    Sets repeat(const EreNode& node) {
        const EreNode& body = node.children[0];
        Sets sets;
        for (int i = 0; i < node.min; ++i) {
            Sets copy = build(body);
            if (node.max == EreNode::kUnbounded && i + 1 == node.min) copy = loop(copy);
            sets = sequence(sets, copy);
        }
        if (node.max == EreNode::kUnbounded) {
            if (node.min == 0) sets = optional(loop(build(body)));
            return sets;
        }
        const int extra = node.max - node.min;
        std::vector<Sets> copies;
        for (int i = 0; i < extra; ++i) copies.push_back(build(body));
        Sets tail;  // the innermost optional copy first
        for (int i = extra - 1; i >= 0; --i) tail = optional(sequence(copies[i], tail));
        return sequence(sets, tail);
    }

    void checkSet(const std::vector<std::size_t>& set, const std::string& where) const {
        for (std::size_t i = 0; i < set.size(); ++i) {
            for (std::size_t j = i + 1; j < set.size(); ++j) {
                // The same atom twice: it is reached two ways, which may place groups apart.
                if (set[i] == set[j] || (m_bytes[set[i]] & m_bytes[set[j]]).any()) {
                    throw Refused{"ambiguous " + where + ": the atoms" + at(m_offsets[set[i]]) +
                                  " and" + at(m_offsets[set[j]]) + " can both match the next byte"};
                }
            }
        }
    }

    std::vector<ByteSet> m_bytes;  // per position
    std::vector<std::size_t> m_offsets;
    std::vector<std::vector<std::size_t>> m_follow;
};

// The expression without a leading "^" and a trailing "$" of its outermost sequence, which
// are the only anchors the fast path takes.
const EreNode* withoutOuterAnchors(const EreNode& root, EreNode& scratch) {
    if (root.kind != Kind::Concat) return &root;
    scratch = root;
    auto& items = scratch.children;
    if (!items.empty() && items.front().kind == Kind::Begin) items.erase(items.begin());
    if (!items.empty() && items.back().kind == Kind::End) items.pop_back();
    return &scratch;
}

}  // namespace

std::string determinismRefusal(const EreNode& root) {
    try {
        EreNode scratch;
        const EreNode* body = withoutOuterAnchors(root, scratch);
        checkShape(*body, false, false);
        Glushkov automaton;
        const Glushkov::Sets sets = automaton.build(*body);
        automaton.checkDisjoint(sets.first);
    } catch (const Refused& refused) {
        return refused.reason;
    }
    return {};
}

}  // namespace tg
