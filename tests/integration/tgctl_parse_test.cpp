#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

#include "support/tgctl_runner.h"

namespace tg::test {
namespace {

class TgctlParseTest : public ::testing::Test {
protected:
    // Every run gets its own store, so no test touches the user's.
    RunResult run(std::vector<std::string> args, const std::string& input = {}) {
        args.insert(args.begin(), {"--store", m_dir.file("store.db")});
        return runTgctl(args, input);
    }
    TempDir m_dir;
};

TEST_F(TgctlParseTest, PrintsRecordsMarksErrorsSkipsEmptyLinesAndTakesAnUnendedLastLine) {
    RunResult result = run({"parse", "--regexp", "^([a-z]+)$", "-"}, "abc\r\n\r\n123\nlast");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "abc\n! Parse Error:\t123\nlast\n");

    result = run({"parse", "--regexp", "([0-9]+)", "--fields", "a,b"}, "12\n");
    EXPECT_EQ(result.out, "! Error:Field quantity doesn't not match to RegExp\n");
}

TEST_F(TgctlParseTest, ReadsAFileAndWritesTheDuplicateLog) {
    const std::string log = m_dir.file("in.log");
    std::ofstream(log) << "1-2\n3-4\n";
    const std::string backup = m_dir.file("dup.log");
    const RunResult result = run({"parse", "--regexp", "([0-9])-([0-9])", "--backup", backup, log});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "1\t2\n3\t4\n");
    EXPECT_EQ(readFile(backup), "1\t2\t\r\n3\t4\t\r\n");
}

TEST_F(TgctlParseTest, ParsesEveryLineOfTheShippedSample) {
    const std::string regexp = readFile(TG_SOURCE_DIR "/samples/access.regexp");
    const RunResult result = run({"parse", "--regexp", regexp.substr(0, regexp.find('\n')),
                                  TG_SOURCE_DIR "/samples/access.log"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    std::istringstream lines(result.out);
    int records = 0, errors = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("! ", 0) == 0) {
            ++errors;
        } else {
            ++records;
            EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 8) << line;
        }
    }
    EXPECT_EQ(records, 13);
    EXPECT_EQ(errors, 1);  // the sample carries one line that is not an access log line
}

TEST_F(TgctlParseTest, BadInvocationsFailWithTheRightExitCode) {
    RunResult result = run({"parse", "x.log"});
    EXPECT_EQ(result.exitCode, 2);  // --regexp is required
    result = run({"parse", "--regexp", "(.*)", m_dir.file("missing.log")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("missing.log"), std::string::npos);
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1);
    result = run({"frobnicate"});
    EXPECT_EQ(result.exitCode, 2);
}

TEST(TgctlRegexp, TestPrintsWhatTheExpressionExtractsAndExplainNamesTheEngine) {
    RunResult result = runTgctl({"regexp", "test", "Error (.*)", "xx error yy"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "yy\n");
    EXPECT_EQ(runTgctl({"regexp", "test", "Error (", "x"}).out, "Regular Expression Syntax Error\n");
    EXPECT_EQ(runTgctl({"regexp", "test", "Error (.*)", "fine"}).out, "not found\n");
    EXPECT_EQ(runTgctl({"regexp", "test", "only-pattern"}).exitCode, 2);

    RunResult fast = runTgctl({"regexp", "explain", "^([0-9]+) (.*)$"});
    EXPECT_EQ(fast.exitCode, 0);
    EXPECT_EQ(fast.out.rfind("engine\tPCRE2 JIT", 0), 0u) << fast.out;
    EXPECT_NE(fast.out.find("groups\t2\n"), std::string::npos);
    RunResult slow = runTgctl({"regexp", "explain", "(.*) (.*)"});
    EXPECT_EQ(slow.exitCode, 0);
    EXPECT_EQ(slow.out.rfind("engine\tglibc regexec\n", 0), 0u) << slow.out;
    EXPECT_NE(slow.out.find("reason\tambiguous"), std::string::npos);
    EXPECT_EQ(runTgctl({"regexp", "explain", "(unclosed"}).exitCode, 1);
    EXPECT_EQ(runTgctl({"regexp", "explain"}).exitCode, 2);
}

}  // namespace
}  // namespace tg::test
