#include "regex/ere_determinism.h"

#include <gtest/gtest.h>

#include "regex/ere_syntax.h"
#include "regex/pcre_translation.h"
#include "regex/reg_exp.h"

namespace tg {
namespace {

// Empty when the compiled engine takes the pattern, else why not.
std::string refusal(const std::string& pattern) {
    RegExp expression;
    EXPECT_EQ(expression.compile(pattern), 0) << pattern;
    EXPECT_EQ(expression.usesCompiledEngine(), expression.slowPathReason().empty()) << pattern;
    return expression.usesCompiledEngine() ? std::string() : expression.slowPathReason();
}

TEST(EreDeterminism, AmbiguousOrUnsupportedExpressionsStayWithGlibc) {
    struct Row {
        const char* pattern;
        const char* reason;  // a part of the explanation
    };
    for (const Row& row : {
             Row{"(.*) (.*)", "ambiguous at the start: the atoms at offset 1 and at offset 4"},
             Row{"(a|ab)", "ambiguous at the start"},
             Row{"a*a", "ambiguous at the start"},
             Row{"(|a)", "alternative that can be empty"},
             Row{"(a*)*", "repeated part that can be empty"},
             Row{"((a)|b)+", "group that a repetition may skip"},
             Row{"(x(a)?)+", "group that a repetition may skip"},
             Row{"a^b", "\"^\" not at the start"},
             Row{"a$|b", "\"$\" not at the end"},
             Row{"\\w+", "GNU escape"},
             Row{"(a)\\1", "back-reference"},
             Row{"[[=a=]]", "equivalence class"},
             Row{"a**", "quantifier applied to a quantifier"},
             Row{"a{,2}", "interval without a lower bound"},
             Row{"(a){0}", "repeating nothing"},
             Row{"((ab)+)+", "ambiguous"},
         }) {
        SCOPED_TRACE(row.pattern);
        EXPECT_NE(refusal(row.pattern).find(row.reason), std::string::npos) << refusal(row.pattern);
    }
}

TEST(EreDeterminism, TranslationSpellsBytesOutWithTheirCaseFolded) {
    const EreParse parsed = parseEre("^a\\d?[]x-]{2,}(\\.|$)");
    // "\d" is a GNU escape here, refused; a plain version translates.
    EXPECT_FALSE(parsed.supported);
    const EreParse plain = parseEre("^a[]x-]{2,}(\\.|[[:digit:]])$");
    ASSERT_TRUE(plain.supported) << plain.refusal;
    EXPECT_EQ(toPcre2(plain.root),
              "\\A[\\x{41}\\x{61}][\\x{2d}\\x{58}\\x{5d}\\x{78}]{2,}"
              "((?:\\x{2e}|[\\x{30}-\\x{39}]))\\z");
}

}  // namespace
}  // namespace tg
