#pragma once
// Runs the real tgctl executable for integration tests and collects what it printed.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace tg::test {

struct RunResult {
    int exitCode = -1;  // the exit status, or -1 when the process did not exit normally
    std::string out;
    std::string err;
};

// Runs tgctl with `args`, feeding `input` to its standard input.
RunResult runTgctl(const std::vector<std::string>& args, const std::string& input = {});

// Tests of tgctl commands on a store in a fresh folder.
class TgctlTest : public ::testing::Test {
protected:
    // The store lies below the folder at `storeName`, whose folders tgctl creates on demand.
    explicit TgctlTest(const std::string& storeName = "store.db")
        : m_store(m_dir.file(storeName)) {}

    // tgctl on this store with `words`.
    RunResult tgctl(std::vector<std::string> words, const std::string& input = {});
    // Success that printed exactly `out` and nothing on standard error.
    static void expectOk(const RunResult& result, const std::string& out = "");
    // Failure (exit code 1) that printed nothing but "tgctl: MESSAGE".
    static void expectFailure(const RunResult& result, const std::string& message);
    // The MESSAGE of a change refused while tessellgroved holds the store.
    static constexpr const char* kDaemonRunning =
        "tessellgroved is running on this store; stop it before changing the store";

    TempDir m_dir;
    std::string m_store;
};

}  // namespace tg::test
