// The compiled engine against glibc: on every expression it takes, the match and every
// group's offsets must be glibc's. Random expressions over a small alphabet, and the
// expressions of the other tests. TG_REGEX_DIFF_PATTERNS sets how many random expressions are
// tried (CI runs many more than the default), TG_REGEX_DIFF_SEED which ones.

#include <gtest/gtest.h>
#include <regex.h>

#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "regex/pcre_matcher.h"
#include "regex/reg_exp.h"

namespace tg {
namespace {

// glibc's answer and the compiled engine's for one expression, as "offsets" text.
class Comparison {
public:
    // False when the compiled engine does not take the pattern (nothing to compare).
    bool prepare(const std::string& pattern) {
        RegExp expression;
        if (expression.compile(pattern) != 0 || !expression.usesCompiledEngine()) return false;
        m_groups = expression.groupCount();
        std::string refusal;
        m_fast = PcreMatcher::create(expression.compiledEnginePattern(), m_groups, refusal);
        if (m_glibcReady) regfree(&m_glibc);
        m_glibcReady =
            regcomp(&m_glibc, replaceEscapes(pattern).c_str(), REG_EXTENDED | REG_ICASE) == 0;
        return m_fast && m_glibcReady;
    }
    ~Comparison() {
        if (m_glibcReady) regfree(&m_glibc);
    }

    std::string glibc(const std::string& subject) const {
        std::vector<regmatch_t> slots(m_groups + 1);
        slots[0].rm_so = 0;
        slots[0].rm_eo = static_cast<regoff_t>(subject.size());
        if (regexec(&m_glibc, subject.c_str(), slots.size(), slots.data(), REG_STARTEND) != 0)
            return "no match";
        return describe(slots);
    }

    std::string fast(const std::string& subject) const {
        std::vector<regmatch_t> slots(m_groups + 1);
        switch (m_fast->match(subject, slots.data(), slots.size())) {
            case PcreMatcher::Outcome::NoMatch:
                return "no match";
            case PcreMatcher::Outcome::Failed:
                return "failed";
            case PcreMatcher::Outcome::Match:
                break;
        }
        return describe(slots);
    }

private:
    static std::string describe(const std::vector<regmatch_t>& slots) {
        std::string text;
        for (const regmatch_t& slot : slots)
            text += "(" + std::to_string(slot.rm_so) + "," + std::to_string(slot.rm_eo) + ")";
        return text;
    }

    std::size_t m_groups = 0;
    std::unique_ptr<PcreMatcher> m_fast;
    regex_t m_glibc{};
    bool m_glibcReady = false;
};

// Random extended expressions: atoms, brackets, escapes, groups, alternation, quantifiers and
// anchors, nested a few levels.
class PatternGenerator {
public:
    explicit PatternGenerator(unsigned seed) : m_random(seed) {}

    std::string pattern() { return alternation(0); }

    std::string subject() {
        static const std::string kBytes = std::string("aabbcAB- 1x\n.", 13) + '\0' + "\xe9";
        std::string text;
        const int length = pick(12);
        for (int i = 0; i < length; ++i) text += kBytes[pick(static_cast<int>(kBytes.size()))];
        return text;
    }

private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_random); }

    std::string alternation(int depth) {
        std::string text = sequence(depth);
        while (pick(5) == 0) text += "|" + sequence(depth);
        return text;
    }

    std::string sequence(int depth) {
        std::string text;
        const int pieces = pick(4);
        for (int i = 0; i < pieces; ++i) text += piece(depth);
        if (pick(10) == 0) text = "^" + text;
        if (pick(10) == 0) text += "$";
        return text;
    }

    std::string piece(int depth) {
        std::string text = atom(depth);
        static const char* const kQuantifiers[] = {
            "*", "+", "?", "{2}", "{1,}", "{0,2}", "{1,3}", "{0}", "{0,1}", "{,2}", "**", "{2}{2}"};
        if (pick(3) == 0) text += kQuantifiers[pick(std::size(kQuantifiers))];
        return text;
    }

    std::string atom(int depth) {
        static const char* const kAtoms[] = {"a",           "b",
                                             "c",           "A",
                                             ".",           "[ab]",
                                             "[^a]",        "[]a]",
                                             "[^]]",        "[a-]",
                                             "[[:alpha:]]", "[[:digit:]-]",
                                             "[\\]",        "\\.",
                                             "\\*",         "-",
                                             " ",           "1",
                                             "[A-c]",       "[[:space:]]",
                                             "\\n",         "x",
                                             "\\{",         "}",
                                             "]",           "[^[:alpha:]]",
                                             "\xe9",        "[.]"};
        if (depth < 3 && pick(4) == 0) return "(" + alternation(depth + 1) + ")";
        return kAtoms[pick(std::size(kAtoms))];
    }

    std::mt19937 m_random;
};

long fromEnvironment(const char* name, long fallback) {
    const char* text = std::getenv(name);
    const long value = text ? std::strtol(text, nullptr, 10) : 0;
    return value > 0 ? value : fallback;
}

// Compares every subject; counts differences and reports the first few. False when the compiled
// engine does not take the pattern.
bool compareOn(const std::string& pattern, const std::vector<std::string>& subjects, int& compared,
               int& differences) {
    Comparison comparison;
    if (!comparison.prepare(pattern)) return false;
    ++compared;
    for (const std::string& subject : subjects) {
        const std::string expected = comparison.glibc(subject);
        const std::string actual = comparison.fast(subject);
        if (expected != actual && ++differences <= 20) {
            ADD_FAILURE() << "pattern [" << pattern << "] subject [" << subject << "]: glibc "
                          << expected << ", compiled " << actual;
        }
    }
    return true;
}

TEST(RegexDifferential, RandomExpressionsGiveGlibcsMatchesAndGroups) {
    PatternGenerator generator(
        static_cast<unsigned>(fromEnvironment("TG_REGEX_DIFF_SEED", 20240611)));
    const int patterns = static_cast<int>(fromEnvironment("TG_REGEX_DIFF_PATTERNS", 4000));
    int compared = 0, differences = 0;
    for (int i = 0; i < patterns; ++i) {
        const std::string pattern = generator.pattern();
        std::vector<std::string> subjects;
        for (int s = 0; s < 24; ++s) subjects.push_back(generator.subject());
        compareOn(pattern, subjects, compared, differences);
    }
    std::printf("random expressions: %d generated, %d taken by the compiled engine\n", patterns,
                compared);
    EXPECT_EQ(differences, 0);
    EXPECT_GT(compared, patterns / 5);  // the generator must keep exercising the fast path
}

// Typical log expressions, which must all take the compiled engine, then some odd ones.
TEST(RegexDifferential, LogExpressionsTakeTheCompiledEngineAndGiveGlibcsMatches) {
    constexpr std::size_t kTypical = 10;
    const std::vector<std::string> patterns = {
        R"re(^([^ ]+) ([^ ]+) ([^ ]+) \[([^]]+)\] "([^"]*)" ([0-9]+) ([0-9]+|-) "([^"]*)" "([^"]*)")re",
        "([0-9]+)[:|']([0-9]+)[:|']([0-9]+)",
        "Error (.*)",
        "([0-9]+)-(x)?",
        "[0-9]{1,3}\\.[0-9]{1,3}\\.[0-9]{1,3}\\.[0-9]{1,3}",
        "^([A-Z][a-z]{2} [ 0-9][0-9] [0-9:]{8}) ([^ ]+) ([^:[]+)(\\[[0-9]+\\])?: (.*)$",
        "(.*)",
        "([0-9]+)",
        "x(ab)+y",
        "(a|b)*c",
        "(b+)$",
        "a\\tb",
        "(a)(b)?(c)*",
        "()a",
        "(a|)b",
        "a{2,3}(b)",
        "[[:alpha:]-z]+",
        "a$b",
        "",
    };
    const std::vector<std::string> subjects = {
        R"(203.0.113.9 - frank [10/Oct/2000:13:55:36 -0700] "GET /a.gif HTTP/1.0" 200 2326 "http://x/" "Mozilla/4.08")",
        R"(::1 - - [10/Oct/2000:13:55:36 -0700] "" 404 - "-" "-")",
        "Jun 11 08:15:02 host sshd[1234]: Accepted key",
        "Jun 11 08:15:02 host kernel: oops",
        "12:30:45",
        "12'30|45",
        "xx error yy",
        std::string("a\0bb", 4),
        "a\tb",
        "12-",
        "12-x",
        "abcc",
        "xababy",
        "ababac",
        "aab",
        "aaab",
        "zZ-",
        "",
        "\n",
    };
    int compared = 0, differences = 0;
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        const bool taken = compareOn(patterns[i], subjects, compared, differences);
        if (i < kTypical) {
            EXPECT_TRUE(taken) << patterns[i];
        }
    }
    EXPECT_EQ(differences, 0);
}

// split and extract as a RegExp gives them, against the same expression left to glibc.
std::string viaRegExp(const RegExp& expression, const std::string& subject) {
    std::vector<std::string> values;
    std::string text = expression.split(subject, values) == 0 ? "split" : "no split";
    for (const std::string& value : values) text += " [" + value + "]";
    std::string last = "unchanged";
    text += expression.extract(subject, last) == 0 ? " extract " : " no extract ";
    return text + "[" + last + "]";
}

TEST(RegexDifferential, RepeatedClassesAndRandomExpressionsSplitAsGlibcDoes) {
    // A repeated byte class is answered without any engine: its run at the start of the text,
    // up to the first byte outside the class (a zero byte, for "." too); repeated at least
    // once, its first run.
    const std::vector<std::string> runs = {
        ".*",     "(.*)",   "[0-9]*", "(a*)",   "([^ ]*)", "[[:alpha:]]*", "(\\n*)",
        "((.*))", "(.*)x",  "([0-9]+)", "[a-c]+", "(A+)",   "([^ ]+)",      "(.+)", "a{1,}"};
    const std::vector<std::string> subjects = {"",          "abc",        "ABC aaa",
                                               "127.0.0.1", "200",        std::string("ab\0cd", 5),
                                               "a\nb\rc",   "\xe9\xff a", std::string("\0", 1),
                                               "\n\nx"};
    PatternGenerator generator(20240612);
    std::vector<std::string> patterns = runs;
    for (int i = 0; i < 1500; ++i) patterns.push_back(generator.pattern());
    int differences = 0;
    for (const std::string& pattern : patterns) {
        RegExp fast, glibc;
        if (fast.compile(pattern) != 0) continue;
        ASSERT_EQ(glibc.compile(pattern, {RegExpEngine::GlibcOnly}), 0) << pattern;
        std::vector<std::string> texts = subjects;
        for (int s = 0; s < 8; ++s) texts.push_back(generator.subject());
        for (const std::string& subject : texts) {
            const std::string expected = viaRegExp(glibc, subject);
            const std::string actual = viaRegExp(fast, subject);
            if (expected != actual && ++differences <= 20) {
                ADD_FAILURE() << "pattern [" << pattern << "] subject [" << subject << "]: glibc "
                              << expected << ", RegExp " << actual;
            }
        }
    }
    EXPECT_EQ(differences, 0);
}

TEST(RegexDifferential, OneExpressionSplitsOnManyThreadsAtOnce) {
    // Each thread matches with its own match data: results never mix between threads.
    RegExp expression;
    ASSERT_EQ(expression.compile("^([a-z]+)-([0-9]+)$"), 0);
    ASSERT_TRUE(expression.usesCompiledEngine());
    std::vector<int> wrong(4, 0);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < wrong.size(); ++t) {
        threads.emplace_back([&, t] {
            const std::string word(t + 1, static_cast<char>('a' + t));
            std::vector<std::string> values;
            for (int i = 0; i < 2000; ++i) {
                const std::string number = std::to_string(i * 7 + static_cast<int>(t));
                if (expression.split(word + "-" + number, values) != 0 ||
                    values != std::vector<std::string>{word, number})
                    ++wrong[t];
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(wrong, std::vector<int>(wrong.size(), 0));
}

}  // namespace
}  // namespace tg
