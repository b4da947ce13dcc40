#include "regex/reg_exp.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "regex/ere_syntax.h"
#include "regex/regex_size.h"

namespace tg {
namespace {

using Values = std::vector<std::string>;

std::string repeat(const std::string& piece, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += piece;
    return text;
}

TEST(ReplaceEscapes, TurnsPairsIntoControlCharactersAndNeverRereadsThem) {
    EXPECT_EQ(replaceEscapes(R"(a\tb)"), "a\tb");
    EXPECT_EQ(replaceEscapes(R"(\n\r\t\a\b)"), "\n\r\t\a\b");
    EXPECT_EQ(replaceEscapes(R"(\\n)"), "\\\n");  // the second backslash pairs with n
    EXPECT_EQ(replaceEscapes(R"(\x\)"), R"(\x\)");
}

TEST(RegExp, EscapesInPatternMatchControlCharacters) {
    RegExp tab;
    ASSERT_EQ(tab.compile(R"(a\tb)"), 0);
    Values values;
    EXPECT_EQ(tab.split("a\tb", values), 0);
    EXPECT_EQ(tab.split("atb", values), 1);

    // \b is a backspace character here, not a word boundary.
    RegExp backspace;
    ASSERT_EQ(backspace.compile(R"(x\by)"), 0);
    EXPECT_EQ(backspace.split("x\by", values), 0);
    EXPECT_EQ(backspace.split("x y", values), 1);
    EXPECT_EQ(backspace.pattern(), R"(x\by)");  // the pattern is kept as typed
}

// Matches anywhere in the line without regard to case; extract takes the last group, or the
// whole match without groups; a zero byte inside the text does not end it.
TEST(RegExp, ExtractTakesTheLastGroupOrTheWholeMatchAnywhereInTheText) {
    RegExp pattern;
    ASSERT_EQ(pattern.compile("Error (.*)"), 0);
    std::string out;
    EXPECT_EQ(pattern.extract("xx error yy", out), 0);
    EXPECT_EQ(out, "yy");
    RegExp anchored;
    ASSERT_EQ(anchored.compile("^error"), 0);
    EXPECT_EQ(anchored.extract("xx error", out), 1);
    RegExp noGroups;
    ASSERT_EQ(noGroups.compile("[0-9]+"), 0);
    ASSERT_EQ(noGroups.extract("abc 123 def", out), 0);
    EXPECT_EQ(out, "123");
    RegExp atEnd;
    ASSERT_EQ(atEnd.compile("(b+)$"), 0);
    Values values;
    ASSERT_EQ(atEnd.split(std::string("a\0bb", 4), values), 0);
    EXPECT_EQ(values, (Values{"bb"}));

    // The sandboxed test reports the extracted text, a miss or a syntax error.
    EXPECT_EQ(testRegexp("Error (.*)", "xx error yy"), "yy");
    EXPECT_EQ(testRegexp("Error (.*)", "all good"), "not found");
    EXPECT_EQ(testRegexp("a[", "a["), "Regular Expression Syntax Error");
    EXPECT_EQ(testRegexp("(", "("), "Regular Expression Syntax Error");
}

// The engine is chosen per expression: keeping one with glibc (for measuring) leaves every
// other one as it was, and both engines give the same values.
TEST(RegExp, GlibcOnlyOptionKeepsThatExpressionAloneWithGlibc) {
    const std::string pattern = "^([0-9]+) ([a-z]+)$";
    RegExp glibc;
    ASSERT_EQ(glibc.compile(pattern, RegExpOptions{.engine = RegExpEngine::GlibcOnly}), 0);
    RegExp automatic;
    ASSERT_EQ(automatic.compile(pattern), 0);
    EXPECT_FALSE(glibc.usesCompiledEngine());
    EXPECT_EQ(glibc.slowPathReason(), "the compiled engine is switched off");
    EXPECT_TRUE(automatic.usesCompiledEngine()) << automatic.slowPathReason();
    Values fromGlibc, fromCompiled;
    ASSERT_EQ(glibc.split("42 Abc", fromGlibc), 0);
    ASSERT_EQ(automatic.split("42 Abc", fromCompiled), 0);
    EXPECT_EQ(fromGlibc, (Values{"42", "Abc"}));
    EXPECT_EQ(fromCompiled, fromGlibc);
}

TEST(RegExp, GroupThatTakesNoPartAddsNoValue) {
    RegExp pattern;
    ASSERT_EQ(pattern.compile("([0-9]+)-(x)?"), 0);
    Values values{"stale", "stale", "stale"};
    ASSERT_EQ(pattern.split("12-", values), 0);
    EXPECT_EQ(values, (Values{"12"}));
    ASSERT_EQ(pattern.split("12-x", values), 0);
    EXPECT_EQ(values, (Values{"12", "x"}));
    EXPECT_EQ(pattern.split("no digits", values), 1);
    EXPECT_TRUE(values.empty());

    std::string out = "kept";
    EXPECT_EQ(pattern.extract("12-", out), 1);  // the last group took no part
    EXPECT_EQ(out, "kept");
}

TEST(RegExp, SplitStopsAtFortyNineValuesButExtractReachesTheLastGroup) {
    RegExp pattern;
    ASSERT_EQ(pattern.compile(repeat("(a)", 59) + "(b)"), 0);
    EXPECT_EQ(pattern.groupCount(), 60u);
    Values values;
    ASSERT_EQ(pattern.split(repeat("a", 59) + "b", values), 0);
    EXPECT_EQ(values.size(), 49u);

    std::string out;
    ASSERT_EQ(pattern.extract(repeat("a", 59) + "b", out), 0);
    EXPECT_EQ(out, "b");
}

TEST(RegExp, UncompiledExpressionMatchesNothing) {
    Values values{"stale"};
    std::string out = "kept";
    RegExp fresh;
    EXPECT_EQ(fresh.split("anything", values), 1);
    EXPECT_TRUE(values.empty());

    RegExp broken;
    ASSERT_EQ(broken.compile("(.*)"), 0);
    EXPECT_NE(broken.compile("(unclosed"), 0);  // a failed compile drops the earlier one
    EXPECT_FALSE(broken.isCompiled());
    EXPECT_EQ(broken.split("unclosed", values), 1);
    EXPECT_EQ(broken.extract("unclosed", out), 1);
    EXPECT_EQ(out, "kept");
}

TEST(RegExp, ExpressionsThatWouldExpandBeyondTheBoundAreRefusedBeforeCompiling) {
    // Each stacked quantifier doubles what glibc builds: 40 of them would need terabytes.
    RegExp stacked;
    EXPECT_EQ(stacked.compile("a" + repeat("+", 40)), REG_ESIZE);
    EXPECT_FALSE(stacked.isCompiled());
    EXPECT_EQ(testRegexp("(x{1000}){1000}", "x"), "Regular Expression Syntax Error");
    EXPECT_GT(estimatedRegexNodes("((a{100}){100}){100}"), kMaxRegexNodes);
    // Small automata whose closures glibc computes in minutes, or with a recursion per copy
    // that overflows the stack.
    std::string concatenated;
    for (int i = 0; i < 50; ++i) concatenated += "(u|v){0,255}";
    for (const std::string& costly :
         {std::string("x(u*){1,30000}j"), std::string("x((u|v){0,255}){0,80}j"),
          std::string("x((u*){0,100}){0,100}j"), std::string("x**u**++++++++++++++j"),
          std::string("x((((((((((u*)+)+)+)+)+)+)+)+)+)+)+j"), concatenated,
          // Repetitions of parts that may be empty, nested: exponential to compile or match.
          std::string("((a||b)*||c)*"), std::string("a***"), std::string("((^)*)+"),
          std::string("b(^[a-]{0,2}A?)**(^$|(^(^|Acb|[A-c]{1,3}||[[:alpha:]]{0,1}A){1,3}"
                      "(]{0,1}|[ab]{0,1}$)+)*){2}{2}"),
          // Long runs of parts that may all be skipped: seconds and gigabytes to compile.
          "(" + repeat("()", 38) + "){255}", "(" + repeat("(a?)", 10) + "){255}",
          repeat("(a?)", 600), "x(" + repeat("()", 550) + "a" + repeat("()", 550) + "){2}"}) {
        SCOPED_TRACE(costly);
        EXPECT_FALSE(regexCostAcceptable(costly));
        EXPECT_EQ(RegExp().compile(costly), REG_ESIZE);
    }

    // Ordinary expressions stay far below it.
    for (const char* pattern :
         {R"re(^([^ ]+) ([^ ]+) ([^ ]+) \[([^]]+)\] "([^"]*)" ([0-9]+) ([0-9]+|-))re",
          "([0-9]+)[:|']([0-9]+)[:|']([0-9]+)", "[0-9]{1,3}\\.[0-9]{1,3}\\.[0-9]{1,3}\\.[0-9]{1,3}",
          "(a|b{2,5})*c+[]x[:alpha:]]?", "x{10}{10}", "(u*){0,255}", "a+++++++++", "(a|)*", "a**",
          "((a*)b)*", "((a|b)+c)*", "(x?)+", "(\\(|\\))*", "((a)(b)(c)(d)){200}",
          ".{0,255}.{0,255}.{0,255}", "([^ ]*) ([^ ]*)? (-|[0-9]*)"}) {
        SCOPED_TRACE(pattern);
        EXPECT_LT(estimatedRegexNodes(pattern), 1000u);
        EXPECT_TRUE(regexCostAcceptable(pattern));
        RegExp ordinary;
        EXPECT_EQ(ordinary.compile(pattern), 0);
    }
}

TEST(RegExp, DeepNestingAndOverlongPatternsAreRefusedBeforeAnyParserRecurses) {
    // Every parser of an expression recurses once per open group: ten thousand of them, or
    // thirty thousand left open, would end the process before any error could be reported.
    const std::string deep = repeat("(", 10000) + "x" + repeat(")", 10000);
    const std::string unbalanced = repeat("(", 30000);
    const std::string bracketed =
        repeat("([)]", kMaxGroupDepth + 1) + "x" + repeat(")", kMaxGroupDepth + 1);
    for (const std::string& refused :
         {deep, unbalanced, bracketed, repeat("(", kMaxGroupDepth + 1) + "x",
          "x" + repeat("[ab]", kMaxPatternLength / 4)}) {
        EXPECT_EQ(RegExp().compile(refused), REG_ESIZE);
        EXPECT_EQ(testRegexp(refused, "x"), "Regular Expression Syntax Error");
    }
    // Our own parser refuses depth by itself, whoever calls it.
    EXPECT_FALSE(parseEre(deep).supported);

    // Nesting up to the bound is still an ordinary expression, taken by the compiled engine.
    const std::string deepest = repeat("(", kMaxGroupDepth) + "x" + repeat(")", kMaxGroupDepth);
    RegExp accepted;
    ASSERT_EQ(accepted.compile(deepest), 0);
    EXPECT_TRUE(accepted.usesCompiledEngine()) << accepted.slowPathReason();
    EXPECT_EQ(testRegexp(deepest, "axb"), "x");
    // Escaped parentheses are text, not groups.
    EXPECT_EQ(testRegexp(repeat("\\(", 500) + "(x)", repeat("(", 500) + "x"), "x");
}

}  // namespace
}  // namespace tg
