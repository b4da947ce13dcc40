#include "regex/ere_syntax.h"

#include <regex.h>

#include <algorithm>
#include <cctype>
#include <clocale>
#include <cstdlib>
#include <map>
#include <optional>

#include "regex/ere_scanner.h"
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
    explicit Parser(std::string_view pattern) : m_text(pattern), m_scanner(pattern) {}

    EreNode parseAll() {
        EreNode root = alternation();
        if (!atEnd()) refuse(token().offset, "unmatched \")\"");
        return root;
    }
    std::size_t groups() const { return m_groups; }

private:
    using Kind = EreToken::Kind;

    bool atEnd() const { return m_scanner.atEnd(); }
    const EreToken& token() const { return m_scanner.token(); }
    bool at(Kind kind) const { return !atEnd() && token().kind == kind; }

    EreNode alternation() {
        const std::size_t start = token().offset;
        EreNode first = concatenation();
        if (!at(Kind::Alternation)) return first;
        EreNode node;
        node.kind = EreNode::Kind::Alternation;
        node.offset = start;
        node.children.push_back(std::move(first));
        while (at(Kind::Alternation)) {
            m_scanner.advance();
            node.children.push_back(concatenation());
        }
        return node;
    }

    EreNode concatenation() {
        EreNode node;
        node.kind = EreNode::Kind::Concat;
        node.offset = token().offset;
        while (!atEnd() && !at(Kind::Alternation) && !at(Kind::Close))
            node.children.push_back(piece());
        return node;
    }

    EreNode piece() {
        EreNode node = atom();
        bool quantified = false;
        while (!atEnd()) {
            const EreToken& quantifier = token();
            int min = 0, max = 0;
            const std::size_t at = quantifier.offset;
            if (quantifier.kind == Kind::Star) {
                max = EreNode::kUnbounded;
            } else if (quantifier.kind == Kind::Plus) {
                min = 1;
                max = EreNode::kUnbounded;
            } else if (quantifier.kind == Kind::Question) {
                max = 1;
            } else if (quantifier.kind == Kind::Interval || quantifier.kind == Kind::Brace) {
                interval(quantifier, min, max);
            } else {
                break;
            }
            m_scanner.advance();
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
    static void interval(const EreToken& brace, int& min, int& max) {
        const std::size_t start = brace.offset;
        if (brace.kind == Kind::Brace) {
            if (!brace.braceDigits) refuse(start, "an interval without a lower bound");
            refuse(start, "a brace that is not an interval");
        }
        auto count = [](std::size_t written) {
            return static_cast<int>(std::min<std::size_t>(written, kLargestCount));
        };
        min = count(brace.lower);
        max = min;
        if (brace.comma) max = brace.hasUpper ? count(brace.upper) : EreNode::kUnbounded;
        if (max != EreNode::kUnbounded && max < min) refuse(start, "an empty interval");
        if (max == 0) refuse(start, "an interval repeating nothing");
    }

    EreNode atom() {
        const EreToken& current = token();
        const std::size_t start = current.offset;
        EreNode node;
        node.offset = start;
        switch (current.kind) {
            case Kind::Open: {
                // Each group is one more level of recursion, here and wherever the tree is
                // walked: the depth is bounded whoever calls the parser.
                if (m_depth == kMaxGroupDepth) refuse(start, "groups nested too deeply");
                m_scanner.advance();
                ++m_depth;
                node.kind = EreNode::Kind::Group;
                node.group = ++m_groups;
                node.children.push_back(alternation());
                if (!at(Kind::Close)) refuse(start, "an unclosed group");
                m_scanner.advance();
                --m_depth;
                return node;
            }
            case Kind::Star:
            case Kind::Plus:
            case Kind::Question:
            case Kind::Interval:
            case Kind::Brace:
                refuse(start, "a quantifier with nothing to repeat");
            case Kind::Begin:
                m_scanner.advance();
                node.kind = EreNode::Kind::Begin;
                return node;
            case Kind::End:
                m_scanner.advance();
                node.kind = EreNode::Kind::End;
                return node;
            case Kind::Bracket:
                switch (current.flaw) {
                    case EreToken::BracketFlaw::Collating:
                        refuse(current.flawOffset, "a collating symbol or equivalence class");
                    case EreToken::BracketFlaw::UnclosedClass:
                        refuse(current.flawOffset, "an unclosed character class");
                    case EreToken::BracketFlaw::Unclosed:
                        refuse(start, "an unclosed bracket expression");
                    case EreToken::BracketFlaw::None:
                        break;
                }
                return atomOf(current);
            case Kind::Escaped: {
                const char escaped = m_scanner.escaped();
                if (current.end - start < 2) refuse(start, "a trailing backslash");
                if (std::isdigit(static_cast<unsigned char>(escaped)))
                    refuse(start, "a back-reference");
                if (std::isalpha(static_cast<unsigned char>(escaped)) || escaped == '<' ||
                    escaped == '>' || escaped == '`' || escaped == '\'')
                    refuse(start, std::string("the GNU escape \\") + escaped);
                return atomOf(current);
            }
            default:
                return atomOf(current);
        }
    }

    // The current token as an atom, which it passes.
    EreNode atomOf(const EreToken& current) {
        const std::size_t start = current.offset;
        const std::string text(m_text.substr(start, current.end - start));
        auto known = m_atoms.find(text);
        if (known == m_atoms.end()) {
            const std::optional<ByteSet> bytes = askGlibc(text);
            if (!bytes) refuse(start, "an atom glibc does not take alone");
            if (bytes->none()) refuse(start, "an atom that matches no byte");
            known = m_atoms.emplace(text, *bytes).first;
        }
        m_scanner.advance();
        EreNode node;
        node.kind = EreNode::Kind::Atom;
        node.offset = start;
        node.bytes = known->second;
        return node;
    }

    // Interval counts read as written up to here; beyond, only "too large" matters.
    static constexpr std::size_t kLargestCount = 100000;

    std::string_view m_text;
    EreScanner m_scanner;
    std::size_t m_groups = 0;
    std::size_t m_depth = 0;                 // groups open at the current token
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
