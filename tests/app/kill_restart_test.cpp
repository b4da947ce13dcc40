// Kills tessellgroved (SIGKILL) at random moments while its log grows, restarts it each time,
// and checks that the data it finally holds equals that of one uninterrupted run: no line
// lost, none counted twice, and the duplicate log holding each record once. The moments come
// from a seed that is printed and kept with the failures; TG_KILL_SEED=N runs with seed N.

#include <gtest/gtest.h>
#include <signal.h>

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <sstream>
#include <thread>

#include "daemon_process.h"
#include "daemon_store.h"
#include "support/reserved_port.h"
#include "support/temp_dir.h"

namespace tg {
namespace {

// TG_KILL_SEED when it holds a number, else the usual one.
std::uint32_t killSeed() {
    if (const char* text = std::getenv("TG_KILL_SEED")) {
        std::uint32_t seed = 0;
        const char* end = text + std::strlen(text);
        if (std::from_chars(text, end, seed).ptr == end && end != text) return seed;
        ADD_FAILURE() << "TG_KILL_SEED is not a number: " << text;
    }
    return 20261206;
}

TEST(KillRestart, KilledAndRestartedDaemonCountsEveryLineExactlyOnce) {
    test::TempDir dir;
    const std::string storePath = dir.file("store.db");
    const std::string log = dir.file("access.log");
    const test::ReservedPort port;  // held across the restarts
    test::defineWebStore(storePath, log, port.port());
    if (::testing::Test::HasFatalFailure()) return;
    const std::vector<std::string> args{"--store",   storePath,         "--bind",
                                        "127.0.0.1", "--checkpoint-ms", "20"};

    std::ofstream out(log, std::ios::app);
    std::map<std::string, std::pair<long, long>> expected;  // status: requests, bytes
    std::string expectedDuplicate;
    std::uint64_t logSize = 0;
    int written = 0;
    auto append = [&](int lines) {
        for (int i = 0; i < lines; ++i, ++written) {
            const std::string status = std::to_string(200 + (written * 7919 % 5) * 100);
            const int bytes = written * 31 % 1000;
            const std::string line = status + ' ' + std::to_string(bytes) + '\n';
            out << line;
            logSize += line.size();
            expected[status].first += 1;
            expected[status].second += bytes;
            expectedDuplicate += status + '\t' + std::to_string(bytes) + "\t\r\n";
        }
        out.flush();
    };

    const std::uint32_t seed = killSeed();
    std::cout << "[ SEED     ] TG_KILL_SEED=" << seed << std::endl;
    ::testing::Test::RecordProperty("seed", std::to_string(seed));
    SCOPED_TRACE("TG_KILL_SEED=" + std::to_string(seed));
    std::mt19937 random(seed);
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE(round);
        append(1500);
        test::DaemonProcess daemon(args, dir.file("err"));
        ASSERT_TRUE(daemon.started());
        // The moments are random on purpose: during start-up, before, during and after
        // checkpoints.
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 200));
        append(1500);  // the log grows while the daemon runs
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 200));
        daemon.signal(SIGKILL);
        EXPECT_EQ(daemon.waitExit(), -1) << daemon.errors();
    }
    append(100);
    {
        test::DaemonProcess daemon(args, dir.file("err"));
        ASSERT_TRUE(test::waitFor([&] { return test::storedPosition(storePath) == logSize; }));
        test::expectCleanStop(daemon);
    }

    std::istringstream labels(test::storedText(storePath, "\\diagrams\\by status", "xaxis"));
    std::istringstream requests(
        test::storedText(storePath, "\\diagrams\\by status\\yaxises\\requests", "data"));
    std::istringstream bytes(
        test::storedText(storePath, "\\diagrams\\by status\\yaxises\\bytes", "data"));
    std::map<std::string, std::pair<long, long>> stored;
    for (std::string label, count, sum; std::getline(labels, label, '\t') &&
                                        std::getline(requests, count, ',') &&
                                        std::getline(bytes, sum, ',');) {
        stored[label.substr(1)] = {std::stol(count), std::stol(sum)};
    }
    EXPECT_EQ(stored, expected);
    EXPECT_EQ(test::storedText(storePath, "\\diagrams\\total\\yaxises\\lines", "data"),
              std::to_string(written) + ",");

    const std::string duplicated = test::readFile(log + ".dup");
    EXPECT_EQ(duplicated.size(), expectedDuplicate.size());
    EXPECT_TRUE(duplicated == expectedDuplicate);
}

}  // namespace
}  // namespace tg
