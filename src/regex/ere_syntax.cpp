#include "regex/ere_syntax.h"

#include <regex.h>

#include <cctype>
#include <clocale>
#include <cstdlib>
#include <map>
#include <optional>

#include "regex/regex_size.h"

namespace tg {
namespace {

// Thrown inside the parser to stop at the first construct it does not take.
struct Refused {
    std::string reason;
};

[[noreturn]] void refuse(std::size_t offset, const std::string& what) {
    throw Refused{what + " at offset " + std::to_string(offset)};
}

// The bytes glibc matches with the atom alone: "^atom$" compiled with the expressions' flags
// and run on each byte. nullopt when glibc does not take the atom alone, or when it matches
// the empty text (then it is no atom).
std::optional<ByteSet> askGlibc(const std::string& atom) {
    regex_t compiled;
    const std::string anchored = "^" + atom + "$";
    if (regcomp(&compiled, anchored.c_str(), REG_EXTENDED | REG_ICASE) != 0) return std::nullopt;
    ByteSet bytes;
    bool matchesEmpty = false;
    char subject[2] = {0, 0};
    for (int value = -1; value < 256; ++value) {
        regmatch_t slot;
        slot.rm_so = 0;
        slot.rm_eo = value < 0 ? 0 : 1;
        subject[0] = static_cast<char>(value < 0 ? 0 : value);
        const bool hit = regexec(&compiled, subject, 1, &slot, REG_STARTEND) == 0;
        if (value < 0) {
            matchesEmpty = hit;
        } else if (hit) {
            bytes.set(static_cast<std::size_t>(value));
        }
    }
    regfree(&compiled);
    if (matchesEmpty) return std::nullopt;
    return bytes;
}

class Parser {
public:
    explicit Parser(std::string_view pattern) : m_text(pattern) {}

    EreNode parseAll() {
        EreNode root = alternation();
        if (m_at < m_text.size()) refuse(m_at, "unmatched \")\"");
        return root;
    }
    std::size_t groups() const { return m_groups; }

private:
    bool atEnd() const { return m_at >= m_text.size(); }
    char peek() const { return m_text[m_at]; }

    EreNode alternation() {
        const std::size_t start = m_at;
        EreNode first = concatenation();
        if (atEnd() || peek() != '|') return first;
        EreNode node;
        node.kind = EreNode::Kind::Alternation;
        node.offset = start;
        node.children.push_back(std::move(first));
        while (!atEnd() && peek() == '|') {
            ++m_at;
            node.children.push_back(concatenation());
        }
        return node;
    }

    EreNode concatenation() {
        EreNode node;
        node.kind = EreNode::Kind::Concat;
        node.offset = m_at;
        while (!atEnd() && peek() != '|' && peek() != ')') node.children.push_back(piece());
        return node;
    }

    EreNode piece() {
        EreNode node = atom();
        bool quantified = false;
        while (!atEnd()) {
            const char c = peek();
            int min = 0, max = 0;
            const std::size_t at = m_at;
            if (c == '*') {
                max = EreNode::kUnbounded;
                ++m_at;
            } else if (c == '+') {
                min = 1;
                max = EreNode::kUnbounded;
                ++m_at;
            } else if (c == '?') {
                max = 1;
                ++m_at;
            } else if (c == '{') {
                interval(min, max);
            } else {
                break;
            }
            if (quantified) refuse(at, "a quantifier applied to a quantifier");
            if (node.kind == EreNode::Kind::Begin || node.kind == EreNode::Kind::End)
                refuse(at, "a quantifier applied to an anchor");
            quantified = true;
            EreNode repeat;
            repeat.kind = EreNode::Kind::Repeat;
            repeat.offset = node.offset;
            repeat.min = min;
            repeat.max = max;
            repeat.children.push_back(std::move(node));
            node = std::move(repeat);
        }
        return node;
    }

    // "{m}", "{m,}" or "{m,n}"; anything else is refused (glibc reads some of it as text).
    void interval(int& min, int& max) {
        const std::size_t start = m_at++;
        auto number = [&](int& out) {
            bool any = false;
            out = 0;
            while (!atEnd() && std::isdigit(static_cast<unsigned char>(peek()))) {
                out = std::min(out * 10 + (peek() - '0'), 100000);
                ++m_at;
                any = true;
            }
            return any;
        };
        if (!number(min)) refuse(start, "an interval without a lower bound");
        max = min;
        if (!atEnd() && peek() == ',') {
            ++m_at;
            if (!number(max)) max = EreNode::kUnbounded;
        }
        if (atEnd() || peek() != '}') refuse(start, "a brace that is not an interval");
        ++m_at;
        if (max != EreNode::kUnbounded && max < min) refuse(start, "an empty interval");
        if (max == 0) refuse(start, "an interval repeating nothing");
    }

    EreNode atom() {
        const std::size_t start = m_at;
        const char c = peek();
        EreNode node;
        node.offset = start;
        switch (c) {
            case '(': {
                // Each group is one more level of recursion, here and wherever the tree is
                // walked: the depth is bounded whoever calls the parser.
                if (m_depth == kMaxGroupDepth) refuse(start, "groups nested too deeply");
                ++m_at;
                ++m_depth;
                node.kind = EreNode::Kind::Group;
                node.group = ++m_groups;
                node.children.push_back(alternation());
                if (atEnd() || peek() != ')') refuse(start, "an unclosed group");
                ++m_at;
                --m_depth;
                return node;
            }
            case '*':
            case '+':
            case '?':
            case '{':
                refuse(start, "a quantifier with nothing to repeat");
            case '^':
                ++m_at;
                node.kind = EreNode::Kind::Begin;
                return node;
            case '$':
                ++m_at;
                node.kind = EreNode::Kind::End;
                return node;
            case '[':
                return atomOf(start, bracketEnd(start));
            case '\\': {
                if (m_at + 1 >= m_text.size()) refuse(start, "a trailing backslash");
                const char escaped = m_text[m_at + 1];
                if (std::isdigit(static_cast<unsigned char>(escaped)))
                    refuse(start, "a back-reference");
                if (std::isalpha(static_cast<unsigned char>(escaped)) || escaped == '<' ||
                    escaped == '>' || escaped == '`' || escaped == '\'')
                    refuse(start, std::string("the GNU escape \\") + escaped);
                return atomOf(start, m_at + 2);
            }
            default:
                return atomOf(start, m_at + 1);
        }
    }

    // The index past the bracket expression opened at `start`.
    std::size_t bracketEnd(std::size_t start) const {
        std::size_t i = start + 1;
        if (i < m_text.size() && m_text[i] == '^') ++i;
        if (i < m_text.size() && m_text[i] == ']') ++i;
        while (i < m_text.size() && m_text[i] != ']') {
            if (m_text[i] == '[' && i + 1 < m_text.size() &&
                (m_text[i + 1] == '.' || m_text[i + 1] == '='))
                refuse(i, "a collating symbol or equivalence class");
            if (m_text[i] == '[' && i + 1 < m_text.size() && m_text[i + 1] == ':') {
                const std::size_t close = m_text.find(":]", i + 2);
                if (close == std::string_view::npos) refuse(i, "an unclosed character class");
                i = close + 2;
            } else {
                ++i;
            }
        }
        if (i >= m_text.size()) refuse(start, "an unclosed bracket expression");
        return i + 1;
    }

    EreNode atomOf(std::size_t start, std::size_t end) {
        const std::string text(m_text.substr(start, end - start));
        auto known = m_atoms.find(text);
        if (known == m_atoms.end()) {
            const std::optional<ByteSet> bytes = askGlibc(text);
            if (!bytes) refuse(start, "an atom glibc does not take alone");
            if (bytes->none()) refuse(start, "an atom that matches no byte");
            known = m_atoms.emplace(text, *bytes).first;
        }
        m_at = end;
        EreNode node;
        node.kind = EreNode::Kind::Atom;
        node.offset = start;
        node.bytes = known->second;
        return node;
    }

    std::string_view m_text;
    std::size_t m_at = 0;
    std::size_t m_groups = 0;
    std::size_t m_depth = 0;                 // groups open at m_at
    std::map<std::string, ByteSet> m_atoms;  // what each atom text matched, asked once
};

}  // namespace

EreParse parseEre(std::string_view pattern) {
    EreParse result;
    // Atoms are asked of glibc byte by byte; a multibyte locale would make them characters.
    if (MB_CUR_MAX != 1) {
        result.refusal = "the locale has multibyte characters";
        return result;
    }
    const std::size_t zero = pattern.find('\0');
    if (zero != std::string_view::npos) pattern = pattern.substr(0, zero);  // as regcomp reads
    try {
        Parser parser(pattern);
        result.root = parser.parseAll();
        result.groups = parser.groups();
        result.supported = true;
    } catch (const Refused& refused) {
        result.refusal = refused.reason;
    }
    return result;
}

}  // namespace tg
