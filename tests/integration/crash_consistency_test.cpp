// Kills an ingesting process (SIGKILL) at random moments while its log grows, restarts it each
// time, and checks that the data it finally holds equals that of one uninterrupted run: no
// line lost, none counted twice, and the duplicate log holding each record once.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <thread>

#include "config/config_key.h"
#include "config/config_store.h"
#include "support/temp_dir.h"

extern char** environ;

namespace tg {
namespace {

pid_t startDriver(const std::vector<std::string>& args) {
    std::vector<std::string> words{INGEST_DRIVER_PATH};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, INGEST_DRIVER_PATH, nullptr, nullptr, argv.data(), environ) != 0) {
        return -1;
    }
    return pid;
}

int waitExit(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string storedText(ConfigStore& store, const std::string& path, const std::string& name) {
    ConfigKey key(store);
    key.openExisting("\\diagrams\\" + path);
    std::string text;
    key.queryString(name, text);
    return text;
}

TEST(CrashConsistency, KilledAndRestartedIngestionCountsEveryLineExactlyOnce) {
    test::TempDir dir;
    const std::string storePath = dir.file("store.db");
    const std::string log = dir.file("access.log");
    const std::string backup = dir.file("dup.log");
    const std::vector<std::string> args{"--store",  storePath, "--log",           log,
                                        "--backup", backup,    "--checkpoint-ms", "20"};
    std::ofstream out(log, std::ios::app);
    std::map<std::string, std::pair<long, long>> expected;  // status: requests, bytes
    std::string expectedDuplicate;
    int written = 0;
    auto append = [&](int lines) {
        for (int i = 0; i < lines; ++i, ++written) {
            const std::string status = std::to_string(200 + (written * 7919 % 5) * 100);
            const int bytes = written * 31 % 1000;
            out << status << ' ' << bytes << '\n';
            expected[status].first += 1;
            expected[status].second += bytes;
            expectedDuplicate += status + '\t' + std::to_string(bytes) + "\t\r\n";
        }
        out.flush();
    };

    std::mt19937 random(20261206);
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE(round);
        append(1500);
        const pid_t driver = startDriver(args);
        ASSERT_GT(driver, 0);
        // The moments are random on purpose: before, during and after checkpoints.
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 150));
        append(1500);  // the log grows while the driver runs
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 150));
        kill(driver, SIGKILL);
        waitExit(driver);
    }
    append(100);
    ASSERT_EQ(waitExit(startDriver([&] {
                  auto all = args;
                  all.push_back("--until-done");
                  return all;
              }())),
              0);

    ConfigStore store(storePath);
    ASSERT_TRUE(store.isOpen());
    std::istringstream labels(storedText(store, "by-status", "xaxis"));
    std::istringstream requests(storedText(store, "by-status\\yaxises\\requests", "data"));
    std::istringstream bytes(storedText(store, "by-status\\yaxises\\bytes", "data"));
    std::map<std::string, std::pair<long, long>> stored;
    for (std::string label, count, sum; std::getline(labels, label, '\t') &&
                                        std::getline(requests, count, ',') &&
                                        std::getline(bytes, sum, ',');) {
        stored[label.substr(1)] = {std::stol(count), std::stol(sum)};
    }
    EXPECT_EQ(stored, expected);
    EXPECT_EQ(storedText(store, "total\\yaxises\\lines", "data"), std::to_string(written) + ",");

    std::ifstream duplicate(backup, std::ios::binary);
    const std::string duplicated(std::istreambuf_iterator<char>(duplicate), {});
    EXPECT_EQ(duplicated.size(), expectedDuplicate.size());
    EXPECT_TRUE(duplicated == expectedDuplicate);
}

}  // namespace
}  // namespace tg
