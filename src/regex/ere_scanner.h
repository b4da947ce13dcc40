#pragma once
// The tokens of a POSIX extended regular expression, read left to right without recursion,
// for the cost guard (regex_size.h) and the parser (ere_syntax.h), so both read brackets,
// escapes and intervals the same way. The scanner only splits the text; what a token means
// where it stands (a brace after nothing, an unmatched ")", a back-reference) is for its
// reader to decide. Every token knows where it starts and ends in the pattern.

#include <cstddef>
#include <string_view>

namespace tg {

struct EreToken {
    enum class Kind {
        Literal,      // one ordinary byte (".", "}" and "]" included)
        Escaped,      // "\" and the byte after it; only the "\" when the pattern ends there
        Bracket,      // "[...]", or from "[" to the end when it is never closed
        Open,         // "("
        Close,        // ")"
        Alternation,  // "|"
        Star,         // "*"
        Plus,         // "+"
        Question,     // "?"
        Interval,     // "{m}", "{m,}" or "{m,n}"
        Brace,        // a "{" that does not start an interval
        Begin,        // "^"
        End,          // "$"
    };
    // Why a bracket expression is not read with certainty: a collating symbol or equivalence
    // class ("[." or "[="), a character class never closed ("[:" without ":]"), or no "]".
    enum class BracketFlaw { None, Collating, UnclosedClass, Unclosed };
    // Interval counts stop growing here.
    static constexpr std::size_t kCountLimit = static_cast<std::size_t>(1) << 20;

    Kind kind = Kind::Literal;
    std::size_t offset = 0;  // the first byte
    std::size_t end = 0;     // past the last byte
    // Interval: the counts as written (at most kCountLimit); `upper` only with `comma`.
    std::size_t lower = 0;
    std::size_t upper = 0;
    bool comma = false;
    bool hasUpper = false;
    // Brace: whether a digit follows the "{".
    bool braceDigits = false;
    // Bracket: the first flaw met while reading it, and where.
    BracketFlaw flaw = BracketFlaw::None;
    std::size_t flawOffset = 0;
};

class EreScanner {
public:
    explicit EreScanner(std::string_view pattern) : m_text(pattern) { read(); }

    bool atEnd() const { return m_token.offset >= m_text.size(); }
    // The token at the current position; meaningless at the end.
    const EreToken& token() const { return m_token; }
    // Moves past the current token.
    void advance() {
        m_at = m_token.end;
        read();
    }
    // The byte escaped by an Escaped token (0 for a trailing "\").
    char escaped() const {
        return m_token.end - m_token.offset == 2 ? m_text[m_token.offset + 1] : '\0';
    }

private:
    void read();
    void readBracket();
    void readBrace();

    std::string_view m_text;
    std::size_t m_at = 0;
    EreToken m_token;
};

}  // namespace tg
