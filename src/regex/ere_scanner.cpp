#include "regex/ere_scanner.h"

#include <algorithm>
#include <cctype>

namespace tg {
namespace {

bool isDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

}  // namespace

void EreScanner::read() {
    m_token = EreToken{};
    m_token.offset = m_at;
    m_token.end = std::min(m_at + 1, m_text.size());
    if (m_at >= m_text.size()) return;
    using Kind = EreToken::Kind;
    switch (m_text[m_at]) {
        case '(': m_token.kind = Kind::Open; break;
        case ')': m_token.kind = Kind::Close; break;
        case '|': m_token.kind = Kind::Alternation; break;
        case '*': m_token.kind = Kind::Star; break;
        case '+': m_token.kind = Kind::Plus; break;
        case '?': m_token.kind = Kind::Question; break;
        case '^': m_token.kind = Kind::Begin; break;
        case '$': m_token.kind = Kind::End; break;
        case '\\':
            m_token.kind = Kind::Escaped;
            m_token.end = std::min(m_at + 2, m_text.size());
            break;
        case '[': readBracket(); break;
        case '{': readBrace(); break;
        default: break;
    }
}

void EreScanner::readBracket() {
    m_token.kind = EreToken::Kind::Bracket;
    auto flaw = [&](EreToken::BracketFlaw what, std::size_t at) {
        if (m_token.flaw != EreToken::BracketFlaw::None) return;
        m_token.flaw = what;
        m_token.flawOffset = at;
    };
    std::size_t i = m_at + 1;
    if (i < m_text.size() && m_text[i] == '^') ++i;
    if (i < m_text.size() && m_text[i] == ']') ++i;  // a leading "]" is literal
    while (i < m_text.size() && m_text[i] != ']') {
        if (m_text[i] == '[' && i + 1 < m_text.size() &&
            (m_text[i + 1] == ':' || m_text[i + 1] == '.' || m_text[i + 1] == '=')) {
            const char kind = m_text[i + 1];
            if (kind != ':') flaw(EreToken::BracketFlaw::Collating, i);
            const char closing[] = {kind, ']'};
            const std::size_t close = m_text.find(std::string_view(closing, 2), i + 2);
            if (close == std::string_view::npos) {
                if (kind == ':') flaw(EreToken::BracketFlaw::UnclosedClass, i);
                i = m_text.size();
            } else {
                i = close + 2;
            }
        } else {
            ++i;
        }
    }
    if (i >= m_text.size()) flaw(EreToken::BracketFlaw::Unclosed, m_at);
    m_token.end = std::min(i + 1, m_text.size());
}

void EreScanner::readBrace() {
    auto number = [&](std::size_t& i, std::size_t& out) {
        bool any = false;
        for (; i < m_text.size() && isDigit(m_text[i]); ++i) {
            out = std::min(out * 10 + static_cast<std::size_t>(m_text[i] - '0'),
                           EreToken::kCountLimit);
            any = true;
        }
        return any;
    };
    std::size_t i = m_at + 1;
    EreToken interval = m_token;
    const bool digits = number(i, interval.lower);
    if (i < m_text.size() && m_text[i] == ',') {
        interval.comma = true;
        ++i;
        interval.hasUpper = number(i, interval.upper);
    }
    if (!digits || i >= m_text.size() || m_text[i] != '}') {
        m_token.kind = EreToken::Kind::Brace;
        m_token.braceDigits = digits;
        return;
    }
    m_token = interval;
    m_token.kind = EreToken::Kind::Interval;
    m_token.end = i + 1;
}

}  // namespace tg
