// Kills tessellgroved (SIGKILL) at random moments while its log grows, restarts it each time,
// and checks that the data it finally holds equals that of one uninterrupted run: no line
// lost, none counted twice, and the duplicate log holding each record once.

#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <thread>

#include "daemon_process.h"
#include "daemon_store.h"
#include "support/temp_dir.h"

namespace tg {
namespace {

TEST(KillRestart, KilledAndRestartedDaemonCountsEveryLineExactlyOnce) {
    test::TempDir dir;
    const std::string storePath = dir.file("store.db");
    const std::string log = dir.file("access.log");
    const std::uint16_t port = test::freeLoopbackPort();
    test::defineWebStore(storePath, log, port);
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

    std::mt19937 random(20261206);
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
        EXPECT_EQ(daemon.waitExit(), -1);
    }
    append(100);
    {
        test::DaemonProcess daemon(args, dir.file("err"));
        ASSERT_TRUE(test::waitFor([&] { return test::storedPosition(storePath) == logSize; }));
        daemon.signal(SIGTERM);
        ASSERT_EQ(daemon.waitExit(), 0);
        EXPECT_EQ(daemon.errors(), "");
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

    std::ifstream duplicate(log + ".dup", std::ios::binary);
    const std::string duplicated(std::istreambuf_iterator<char>(duplicate), {});
    EXPECT_EQ(duplicated.size(), expectedDuplicate.size());
    EXPECT_TRUE(duplicated == expectedDuplicate);
}

}  // namespace
}  // namespace tg
