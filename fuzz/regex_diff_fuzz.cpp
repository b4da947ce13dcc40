// Fuzzes the compiled engine against glibc: the input's first line is the expression, the rest
// the text. When the compiled engine takes the expression, its match and every group's offsets
// must equal glibc's regexec; any difference aborts. Inputs may be long enough to nest groups
// far deeper than the compile guard takes, which must then refuse them without recursing.

#include <regex.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "regex/ere_syntax.h"
#include "regex/pcre_matcher.h"
#include "regex/reg_exp.h"

namespace {

struct GlibcRegex {
    regex_t compiled{};
    bool ready = false;
    ~GlibcRegex() {
        if (ready) regfree(&compiled);
    }
};

[[noreturn]] void differ(const std::string& pattern, const char* what, std::size_t slot) {
    std::fprintf(stderr, "compiled engine differs from glibc on [%s]: %s (slot %zu)\n",
                 pattern.c_str(), what, slot);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 65536) return 0;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t newline = input.find('\n');
    if (newline == std::string_view::npos) return 0;
    const std::string pattern(input.substr(0, newline));
    const std::string subject(input.substr(newline + 1));

    tg::RegExp expression;
    if (expression.compile(pattern) != 0) {
        // Our parser must refuse what the guard refused without its help, however deep.
        (void)tg::parseEre(tg::replaceEscapes(pattern));
        return 0;
    }
    if (!expression.usesCompiledEngine()) return 0;
    const std::size_t groups = expression.groupCount();
    std::string refusal;
    const auto fast = tg::PcreMatcher::create(expression.compiledEnginePattern(), groups, refusal);
    if (!fast) differ(pattern, "the translation no longer compiles", 0);

    GlibcRegex glibc;
    glibc.ready = regcomp(&glibc.compiled, tg::replaceEscapes(pattern).c_str(),
                          REG_EXTENDED | REG_ICASE) == 0;
    if (!glibc.ready) differ(pattern, "glibc no longer compiles it", 0);

    std::vector<regmatch_t> expected(groups + 1), actual(groups + 1);
    expected[0].rm_so = 0;
    expected[0].rm_eo = static_cast<regoff_t>(subject.size());
    const bool glibcMatched = regexec(&glibc.compiled, subject.c_str(), expected.size(),
                                      expected.data(), REG_STARTEND) == 0;
    const tg::PcreMatcher::Outcome outcome = fast->match(subject, actual.data(), actual.size());
    if (outcome == tg::PcreMatcher::Outcome::Failed) return 0;  // RegExp asks glibc then
    if (glibcMatched != (outcome == tg::PcreMatcher::Outcome::Match))
        differ(pattern, glibcMatched ? "glibc matches, compiled does not" : "compiled matches", 0);
    if (!glibcMatched) return 0;
    for (std::size_t i = 0; i <= groups; ++i) {
        if (expected[i].rm_so != actual[i].rm_so || expected[i].rm_eo != actual[i].rm_eo)
            differ(pattern, "offsets", i);
    }
    return 0;
}
