#pragma once
// An expression compiled by PCRE2 with its JIT, matched into POSIX match slots. Built only
// from a translation of an expression that ere_determinism.h found to give glibc's results.
//
// Immutable once created; match() may run on several threads at once: each thread keeps its
// own match data and JIT stack (grown to the most groups it has needed, never per match).

#include <regex.h>

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace tg {

struct Pcre2CodeFree {
    void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
using Pcre2Code = std::unique_ptr<pcre2_code, Pcre2CodeFree>;

class PcreMatcher {
public:
    enum class Outcome { Match, NoMatch, Failed };

    // nullptr with `refusal` set when PCRE2 or its JIT does not take the pattern, or it has
    // another number of groups than `groups`.
    static std::unique_ptr<PcreMatcher> create(const std::string& pcrePattern, std::size_t groups,
                                               std::string& refusal);

    // Matches anywhere in `text` (zero bytes included) and fills slots 0..count-1 as regexec
    // does: start and end offsets, -1 for a group that took no part. Failed when the engine
    // stopped (its stack limit), so the caller can ask glibc instead.
    Outcome match(std::string_view text, regmatch_t* slots, std::size_t count) const;

private:
    PcreMatcher(Pcre2Code code, std::size_t groups) : m_code(std::move(code)), m_groups(groups) {}

    Pcre2Code m_code;
    std::size_t m_groups;
};

}  // namespace tg
