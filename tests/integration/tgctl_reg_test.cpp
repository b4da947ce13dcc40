#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "config/instance_lock.h"
#include "support/tgctl_runner.h"

namespace tg::test {
namespace {

class TgctlRegTest : public TgctlTest {
protected:
    TgctlRegTest() : TgctlTest("state/store.db") {}

    RunResult reg(std::vector<std::string> words) {
        words.insert(words.begin(), "reg");
        return tgctl(words);
    }
};

TEST_F(TgctlRegTest, SetValuesReadBackWhateverTheCaseOfTheKey) {
    expectOk(reg({"set", "sources\\web", "type", "--dword", "1"}), "");
    expectOk(reg({"get", "sources\\web", "type"}), "1\n");
    expectOk(reg({"get", "SOURCES\\WEB", "TYPE"}), "1\n");
    expectOk(reg({"set", "\\sources\\web\\", "regexp", "--string", "^(\\S+) \xe9 (.*)$"}), "");
    expectOk(reg({"get", "sources\\web", "regexp"}), "^(\\S+) \xe9 (.*)$\n");
    expectOk(reg({"set", "", "Separator", "--dword", "0xFFFFFFFF"}), "");
    expectOk(reg({"get", "\\", "Separator"}), "4294967295\n");
    expectOk(reg({"list", "sources"}), "web\n");
}

TEST_F(TgctlRegTest, MissingKeysAndValuesAreErrorsAndCreateNothing) {
    expectOk(reg({"set", "sources", "x", "--dword", "0"}), "");
    expectFailure(reg({"get", "sources\\web", "type"}), "no key sources\\web");
    expectFailure(reg({"get", "sources", "type"}), "no value type under sources");
    expectFailure(reg({"list", "diagrams"}), "no key diagrams");
    expectFailure(reg({"dump", "diagrams"}), "no key diagrams");
    expectFailure(reg({"delete", "sources\\web"}), "no key sources\\web");
    expectFailure(reg({"delete", "sources", "type"}), "no value type under sources");
    expectOk(reg({"list", "sources"}), "");
    expectOk(reg({"list", ""}), "sources\n");
    expectOk(reg({"dump"}), "\\\nsources\n    x (REG_DWORD) = 0\n");
}

TEST_F(TgctlRegTest, DumpListsTheTreeDepthFirstWithTypedValues) {
    expectOk(reg({"set", "", "Separator", "--dword", "9"}), "");
    expectOk(reg({"set", "sources\\web", "type", "--dword", "1"}), "");
    expectOk(reg({"set", "sources\\web", "datasource", "--string", "/var/log/a.log"}), "");
    expectOk(reg({"set", "sources\\Alpha", "type", "--dword", "3"}), "");
    expectOk(reg({"set", "http", "Port", "--dword", "8080"}), "");
    const std::string tree =
        "\\\n"
        "    Separator (REG_DWORD) = 9\n"
        "http\n"
        "    Port (REG_DWORD) = 8080\n"
        "sources\n"
        "sources\\Alpha\n"
        "    type (REG_DWORD) = 3\n"
        "sources\\web\n"
        "    datasource (REG_SZ) = /var/log/a.log\n"
        "    type (REG_DWORD) = 1\n";
    expectOk(reg({"dump"}), tree);
    expectOk(reg({"dump", "sources\\web"}),
             "sources\\web\n    datasource (REG_SZ) = /var/log/a.log\n    type (REG_DWORD) = 1\n");

    expectOk(reg({"delete", "sources\\web", "type"}), "");
    expectOk(reg({"delete", "SOURCES"}), "");
    expectOk(reg({"dump"}),
             "\\\n    Separator (REG_DWORD) = 9\nhttp\n    Port (REG_DWORD) = 8080\n");
}

TEST_F(TgctlRegTest, BadWordsAreUsageErrorsAndTheProductKeyIsNotDeleted) {
    for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
             {"set", "http", "Port", "--dword", "4294967296"},
             {"set", "http", "Port", "--dword", "-1"},
             {"set", "http", "Port", "--dword", "0x"},
             {"set", "http", "Port", "--dword", "1", "--string", "1"},
             {"get", "http"},
             {"frobnicate"},
             {},
         }) {
        RunResult result = reg(words);
        EXPECT_EQ(result.exitCode, 2) << ::testing::PrintToString(words);
        EXPECT_NE(result.err.find("usage:"), std::string::npos);
    }
    expectOk(reg({"set", "http", "Port", "--dword", "80"}), "");
    RunResult refused = reg({"delete", "\\"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("product key"), std::string::npos) << refused.err;
    expectOk(reg({"get", "http", "Port"}), "80\n");
}

TEST_F(TgctlRegTest, ChangesAreRefusedWhileTheDaemonHoldsThisStoreOnly) {
    expectOk(reg({"set", "sources\\web", "type", "--dword", "1"}), "");
    const std::string before = reg({"dump"}).out;
    {
        InstanceLock daemon{std::filesystem::path(m_store), InstanceLock::Mode::Instance};
        ASSERT_TRUE(daemon.held());
        expectFailure(reg({"set", "sources\\web", "type", "--dword", "2"}), kDaemonRunning);
        expectFailure(reg({"set", "http", "LogPath", "--string", "x"}), kDaemonRunning);
        expectFailure(reg({"delete", "sources\\web", "type"}), kDaemonRunning);
        expectFailure(reg({"delete", "sources"}), kDaemonRunning);
        expectOk(reg({"dump"}), before);
    }
    // A daemon on another store in the same folder leaves this one free.
    const std::string other = m_dir.file("state/other.db");
    InstanceLock daemon{std::filesystem::path(other), InstanceLock::Mode::Instance};
    ASSERT_TRUE(daemon.held());
    expectOk(reg({"delete", "sources"}), "");
    EXPECT_EQ(runTgctl({"--store", other, "reg", "set", "", "x", "--dword", "1"}).exitCode, 1);
}

TEST_F(TgctlRegTest, ReadingCommandsNeedAnExistingStoreAndCreateNothing) {
    for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
             {"reg", "list", ""},
             {"reg", "get", "", "Separator"},
             {"reg", "dump"},
             {"source", "list"},
             {"source", "show", "web"},
             {"diagram", "list"},
             {"diagram", "show", "hits"},
             {"user", "list"},
             {"settings", "show"},
         }) {
        SCOPED_TRACE(::testing::PrintToString(words));
        expectFailure(tgctl(words), "no store at " + m_store);
    }
    // parse needs the store only for the duplicate log's separator, which has a default.
    expectOk(tgctl({"parse", "--regexp", "(.*)", "--backup", m_dir.file("dup"), "/dev/null"}));
    EXPECT_FALSE(std::filesystem::exists(m_dir.file("state")));
}

TEST_F(TgctlRegTest, GarbageStoreFileFailsWithOneLineNamingIt) {
    const std::string garbage(4096, '\x5a');
    std::ofstream(m_dir.file("bad.db"), std::ios::binary) << garbage;
    RunResult result =
        runTgctl({"--store", m_dir.file("bad.db"), "reg", "set", "http", "Port", "--dword", "1"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find(m_dir.file("bad.db")), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("not a database"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
}

}  // namespace
}  // namespace tg::test
