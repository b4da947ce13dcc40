// The real tessellgroved on a temporary store and a free port: ingestion that survives a
// stop and a restart, one instance per store, and the port-in-use failure.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "config/config_store.h"
#include "daemon_process.h"
#include "daemon_store.h"
#include "http/http_settings.h"
#include "platform/unique_fd.h"
#include "support/loopback_client.h"
#include "support/loopback_peer.h"
#include "support/reserved_port.h"
#include "support/temp_dir.h"
#include "support/tgctl_runner.h"

namespace tg {
namespace {

using test::storedPosition;
using test::storedText;

class DaemonTest : public ::testing::Test {
protected:
    void SetUp() override {
        port = reserved.port();
        ASSERT_NE(port, 0);
        test::defineWebStore(storePath, log, port);
    }

    void append(const std::string& lines) {
        std::ofstream(log, std::ios::app) << lines;
        logSize += lines.size();
    }

    std::vector<std::string> args(std::initializer_list<std::string> more = {}) {
        std::vector<std::string> all{"--store", storePath, "--bind", "127.0.0.1"};
        all.insert(all.end(), more);
        return all;
    }

    test::TempDir dir;
    test::ReservedPort reserved;  // held until the test ends: no other test takes it meanwhile
    const std::string storePath = dir.file("store.db");
    const std::string log = dir.file("access.log");
    std::uint64_t logSize = 0;
    std::uint16_t port = 0;
};

TEST_F(DaemonTest, IngestsUntilTerminatedAndContinuesAfterARestart) {
    append("200 10\n404 1\n200 5\n");
    {
        test::DaemonProcess daemon(args({"--checkpoint-ms", "20"}), dir.file("err1"));
        ASSERT_TRUE(test::waitFor([&] { return storedPosition(storePath) == logSize; }));
        append("500 7\n");  // while it runs
        ASSERT_TRUE(test::waitFor([&] { return storedPosition(storePath) == logSize; }));
        test::expectCleanStop(daemon);
    }
    EXPECT_EQ(storedText(storePath, "\\diagrams\\by status", "xaxis"), "/200\t/404\t/500\t");
    EXPECT_EQ(storedText(storePath, "\\diagrams\\by status\\yaxises\\requests", "data"), "2,1,1,");

    // Lines written while it was down are read once: neither lost nor counted again. Without
    // periodic checkpoints only the shutdown saves, so this also proves SIGINT saves.
    append("404 2\n200 1\n");
    {
        test::DaemonProcess daemon(args({"--checkpoint-ms", "0"}), dir.file("err2"));
        ASSERT_TRUE(test::waitFor([&] { return test::accepting(port); }));
        // The first records are in once the duplicate log holds them.
        ASSERT_TRUE(test::waitFor([&] {
            const std::string duplicate = test::readFile(log + ".dup");
            return std::count(duplicate.begin(), duplicate.end(), '\n') == 6;
        }));
        daemon.signal(SIGINT);
        EXPECT_EQ(daemon.waitExit(), 0);
    }
    EXPECT_EQ(storedPosition(storePath), logSize);
    EXPECT_EQ(storedText(storePath, "\\diagrams\\by status\\yaxises\\requests", "data"), "3,2,1,");
    EXPECT_EQ(storedText(storePath, "\\diagrams\\by status\\yaxises\\bytes", "data"), "16,3,7,");
    const test::RunResult shown =
        test::runTgctl({"--store", storePath, "diagram", "show", "by status"});
    EXPECT_EQ(shown.exitCode, 0);
    EXPECT_NE(shown.out.find("\nx\tbytes\trequests\n/200\t16\t3\n/404\t3\t2\n/500\t7\t1\n"),
              std::string::npos)
        << shown.out << shown.err;
}

TEST_F(DaemonTest, TgctlRefusesDefinitionChangesWhileTheDaemonRunsButReads) {
    test::DaemonProcess daemon(args(), dir.file("err"));
    ASSERT_TRUE(test::waitFor([&] { return test::accepting(port); }));
    auto tgctl = [&](std::vector<std::string> words) {
        words.insert(words.begin(), {"--store", storePath});
        return test::runTgctl(words);
    };
    const test::RunResult refused = tgctl({"source", "remove", "web"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("tessellgroved is running"), std::string::npos) << refused.err;
    EXPECT_EQ(tgctl({"source", "set", "web", "--regexp", "x"}).exitCode, 1);
    EXPECT_EQ(tgctl({"reg", "delete", "sources\\web"}).exitCode, 1);
    EXPECT_EQ(tgctl({"reg", "set", "sources\\web", "regexp", "--string", "x"}).exitCode, 1);
    EXPECT_EQ(tgctl({"diagram", "rebuild", "total"}).exitCode, 1);
    EXPECT_EQ(tgctl({"source", "list"}).out, "web\tFILE\n");
    EXPECT_EQ(tgctl({"diagram", "list"}).exitCode, 0);

    test::expectCleanStop(daemon);
    EXPECT_NE(tgctl({"source", "show", "web"}).out.find("regexp\t^([0-9]+) ([0-9]+)$\n"),
              std::string::npos);
    EXPECT_EQ(tgctl({"source", "set", "web", "--regexp", "x"}).exitCode, 0);
}

TEST_F(DaemonTest, OneInstancePerStoreFileWhateverPathReachesItAndNotPerFolder) {
    test::DaemonProcess first(args(), dir.file("err1"));
    ASSERT_TRUE(test::waitFor([&] { return test::accepting(port); }));

    // The same store through a symbolic link: a second instance, which ends silently.
    std::filesystem::create_symlink(storePath, dir.file("link.db"));
    test::DaemonProcess second({"--store", dir.file("link.db"), "--bind", "127.0.0.1"},
                               dir.file("err2"));
    EXPECT_EQ(second.waitExit(), 0);
    EXPECT_EQ(second.errors(), "");

    // Another store in the same folder runs beside it.
    const test::ReservedPort otherReserved;
    const std::uint16_t otherPort = otherReserved.port();
    test::defineWebStore(dir.file("other.db"), dir.file("other.log"), otherPort);
    test::DaemonProcess other({"--store", dir.file("other.db"), "--bind", "127.0.0.1"},
                              dir.file("err3"));
    ASSERT_TRUE(test::waitFor([&] { return test::accepting(otherPort); })) << other.errors();

    EXPECT_EQ(test::exchange(port, "GET / HTTP/1.0\r\n\r\n").rfind("HTTP/1.0 302", 0),
              0u);  // to index.html
    test::expectCleanStop(first);
    test::expectCleanStop(other);
}

TEST_F(DaemonTest, AStoreDeletedWhileRunningIsReportedOnceAndTheExitCodeSaysSo) {
    const std::string events = dir.file("events.log");
    {
        ConfigStore store(storePath);
        HttpSettings(store).setLogPath(events);
    }
    append("200 1\n");
    test::DaemonProcess daemon(args({"--checkpoint-ms", "20"}), dir.file("err"));
    ASSERT_TRUE(test::waitFor([&] { return storedPosition(storePath) == logSize; }));
    std::filesystem::remove(storePath);
    const std::string deleted = "the file was deleted while it was in use";
    ASSERT_TRUE(test::waitFor([&] { return daemon.errors().find(deleted) != std::string::npos; }));
    append("404 2\n");  // read into the deleted file meanwhile: more failed checkpoints
    daemon.signal(SIGTERM);
    EXPECT_EQ(daemon.waitExit(), 1);
    EXPECT_EQ(daemon.errors(), "Error: Store " + storePath + ": Cannot write the checkpoint: " +
                                   deleted + "\n" + "Error: Store " + storePath +
                                   ": Cannot save the diagrams' data: " + deleted + "\n");
    const std::string logged = test::readFile(events);
    EXPECT_NE(logged.find(storePath + "\tCannot write the checkpoint: " + deleted + "\n"),
              std::string::npos)
        << logged;
    EXPECT_NE(logged.find(storePath + "\tCannot save the diagrams' data: " + deleted + "\n"),
              std::string::npos);
}

TEST_F(DaemonTest, AReadOnlyStoreEndsStartUpWithTheReason) {
    test::ReadOnlyFile readOnly(storePath);
    ASSERT_TRUE(readOnly.made());
    test::DaemonProcess daemon(args(), dir.file("err"));
    EXPECT_EQ(daemon.waitExit(), 1);
    EXPECT_EQ(daemon.errors(),
              "Error: Cannot write to the store " + storePath + ": the file is read-only\n");
    EXPECT_FALSE(test::accepting(port));
}

TEST_F(DaemonTest, APortInUseEndsStartUpWithTheMessageAndExitCodeOne) {
    UniqueFd taken = test::listenLoopback(port, 1);  // another server on the reserved port
    ASSERT_FALSE(::testing::Test::HasFailure());

    test::DaemonProcess daemon(args(), dir.file("err"));
    EXPECT_EQ(daemon.waitExit(), 1);
    EXPECT_NE(daemon.errors().find("Port " + std::to_string(port) + " is already in use!"),
              std::string::npos)
        << daemon.errors();

    // Nothing was lost on the way out, and the store is free for the next start.
    taken.reset();
    test::DaemonProcess next(args(), dir.file("err2"));
    ASSERT_TRUE(test::waitFor([&] { return test::accepting(port); }));
    test::expectCleanStop(next);
}

TEST_F(DaemonTest, BindResolvesNamesAndRefusesAddressesItCannotUse) {
    {
        test::DaemonProcess daemon({"--store", storePath, "--bind", "localhost"}, dir.file("err"));
        ASSERT_TRUE(test::waitFor([&] { return test::accepting(port); }));
        test::expectCleanStop(daemon);
    }
    for (const char* bad : {"no-such-host.invalid", "127.0.0.256", "192.0.2.1"}) {
        SCOPED_TRACE(bad);
        test::DaemonProcess daemon({"--store", storePath, "--bind", bad}, dir.file("err2"));
        EXPECT_EQ(daemon.waitExit(), 1);
        EXPECT_NE(daemon.errors().find(std::string("Cannot listen on ") + bad), std::string::npos)
            << daemon.errors();
    }
}

TEST_F(DaemonTest, TcpAndUdpSourcesFeedTheDiagrams) {
    const auto tgctl = [&](std::vector<std::string> words) {
        words.insert(words.begin(), {"--store", storePath, "source", "set", "web"});
        return test::runTgctl(words).exitCode;
    };
    const std::string requests = "\\diagrams\\by status\\yaxises\\requests";
    const test::ReservedPort server;
    const UniqueFd listener = test::listenLoopback(server.port());
    ASSERT_EQ(
        tgctl({"--type", "TCP/IP", "--connect", "TCP:127.0.0.1:" + std::to_string(server.port())}),
        0);
    {
        test::DaemonProcess daemon(args({"--checkpoint-ms", "20"}), dir.file("err1"));
        const UniqueFd peer = test::acceptWithin(listener.get());
        ASSERT_TRUE(peer) << daemon.errors();
        test::sendAll(peer.get(), "200 10\n40");
        test::sendAll(peer.get(), "4 1\r\n200 5\n");
        ASSERT_TRUE(test::waitFor([&] {
            return storedText(storePath, requests, "data") == "2,1,";
        })) << daemon.errors();
        test::expectCleanStop(daemon);
    }

    const std::uint16_t udpPort = test::freeUdpPort();
    ASSERT_EQ(tgctl({"--type", "UDP", "--connect", "UDP:" + std::to_string(udpPort),
                     "--datagram-lines", "1"}),
              0);
    test::DaemonProcess daemon(args({"--checkpoint-ms", "20"}), dir.file("err2"));
    ASSERT_TRUE(test::waitFor([&] { return test::udpPortBound(udpPort); })) << daemon.errors();
    test::sendDatagram(udpPort, "500 7");  // each datagram a line
    test::sendDatagram(udpPort, "200 1");
    ASSERT_TRUE(test::waitFor([&] { return storedText(storePath, requests, "data") == "3,1,1,"; }))
        << daemon.errors();
    test::expectCleanStop(daemon);
    EXPECT_EQ(storedText(storePath, "\\diagrams\\by status\\yaxises\\bytes", "data"), "16,1,7,");
}

TEST(DaemonOptions, BadArgumentsAreUsageErrors) {
    test::TempDir dir;
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--bogus"}, {"--store"}, {"--checkpoint-ms", "soon"}, {"--bind", ""}}) {
        test::DaemonProcess daemon(args, dir.file("err"));
        EXPECT_EQ(daemon.waitExit(), 2);
        EXPECT_NE(daemon.errors().find("usage: tessellgroved"), std::string::npos);
    }
}

}  // namespace
}  // namespace tg
