#pragma once
// A compiled POSIX extended regular expression, matched without regard to case and anywhere
// in the text unless the pattern anchors it. Used for the sources' line expressions and the
// diagrams' filters, groups and axes. Move-only; compile() replaces the compiled state.
//
// A RegExp is not compiled until compile() succeeds; an uncompiled one matches nothing.
// Matching is const and may run on several threads at once.
//
// glibc compiles every pattern and decides whether it is valid. An expression whose POSIX
// match can be found by a compiled engine without any difference (ere_determinism.h) is
// matched by PCRE2's JIT instead, many times faster; every other one by glibc's regexec.
// An expression that is one repeated byte class, optionally in a group (".*", "(.*)",
// "[0-9]*"), needs no engine at all: its match is the run of such bytes at the start of the
// text, which is what any POSIX matcher finds there (an empty match at the first position is
// always possible, and the longest match from there is the whole run).

#include <regex.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tg {

class PcreMatcher;

// How an expression is compiled. The default picks the compiled engine wherever it matches
// exactly as glibc does; GlibcOnly leaves every expression with glibc's regexec, for measuring
// the engines against each other.
enum class RegExpEngine { Auto, GlibcOnly };
struct RegExpOptions {
    RegExpEngine engine = RegExpEngine::Auto;
};

// Groups beyond this number never reach a record (the matcher keeps 50 slots, slot 0 being
// the whole match).
inline constexpr std::size_t kMaxGroups = 49;

struct RegexFree {
    void operator()(regex_t* re) const {
        regfree(re);
        delete re;
    }
};
using CompiledRegex = std::unique_ptr<regex_t, RegexFree>;

class RegExp {
public:
    RegExp();
    ~RegExp();
    RegExp(RegExp&&) noexcept;
    RegExp& operator=(RegExp&&) noexcept;

    // Stores the pattern, replaces its escapes (replaceEscapes) and compiles it as `options`
    // say. 0 on success, else the regcomp error code (the expression is then uncompiled).
    int compile(std::string_view pattern, RegExpOptions options = {});

    // 0 when the line matches, with `values` holding the text of every group 1..n (n the
    // number of groups, at most kMaxGroups) that took part in the match; a group that did not
    // take part adds nothing. 1 when it does not match (or is uncompiled): `values` is empty.
    int split(std::string_view line, std::vector<std::string>& values) const;
    // As split, but gives where each value lies in `line` instead of copying it.
    struct Piece {
        std::uint32_t start = 0;
        std::uint32_t size = 0;
    };
    int splitPieces(std::string_view line, std::vector<Piece>& pieces) const;

    // 0 with `out` set to the text of the last group (the whole match when the pattern has
    // no group); 1, leaving `out` as it was, when uncompiled, when the text does not match,
    // or when that group took no part in the match.
    int extract(std::string_view text, std::string& out) const;
    // The same text as a view into `text`, without a copy; none where extract answers 1.
    std::optional<std::string_view> extractView(std::string_view text) const;

    bool isCompiled() const { return m_compiled != nullptr; }
    const std::string& pattern() const { return m_pattern; }
    // The number of parenthesised groups of the compiled expression (0 when uncompiled).
    std::size_t groupCount() const { return m_compiled ? m_compiled->re_nsub : 0; }

    // Whether the compiled expression is matched by the compiled engine; when not, why not
    // (the first ambiguous point or unsupported construct; empty when uncompiled).
    bool usesCompiledEngine() const { return m_fast != nullptr; }
    const std::string& slowPathReason() const { return m_slowReason; }
    // The expression as given to the compiled engine (empty when glibc matches it).
    const std::string& compiledEnginePattern() const { return m_fastPattern; }

private:
    // Runs regexec over `text` (which need not end in a zero byte) with `slots` slots.
    bool match(std::string_view text, regmatch_t* slots, std::size_t count) const;

    // Sets m_fast when the expression may take the compiled engine, else m_slowReason; sets
    // m_run for an expression that is a repeated byte class.
    void planCompiledEngine(const std::string& text, RegExpOptions options);

    std::string m_pattern;
    CompiledRegex m_compiled;
    std::unique_ptr<PcreMatcher> m_fast;  // only with m_compiled
    std::string m_fastPattern;
    std::string m_slowReason;
    // For an expression that is one byte class repeated any number of times: the bytes of
    // the class. Its match, and its group's when it has one, is their run at the start; when
    // repeated at least once, their first run, and no match without one.
    struct LeadingRun {
        std::array<bool, 256> bytes{};
        std::size_t groups = 0;  // 0 or 1
        bool oneOrMore = false;
        // The bytes outside the class: none, one (`outside`; "." leaves out the zero byte) or
        // more.
        int outsideCount = 0;
        unsigned char outside = 0;
    };
    std::unique_ptr<LeadingRun> m_run;  // only with m_compiled
};

// The pattern as typed with the two-character escapes \n \r \t \a \b turned into LF, CR, TAB,
// BEL and BS, in that order, each pass left to right; inserted characters are never read again.
std::string replaceEscapes(std::string_view pattern);

// The regular expression test of the web pages and the desktop: the text that `pattern`
// extracts from `sample`, "not found", or "Regular Expression Syntax Error".
std::string testRegexp(std::string_view pattern, std::string_view sample);

}  // namespace tg
