#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "config/config_store.h"
#include "config/instance_lock.h"
#include "http/account_store.h"
#include "support/tgctl_runner.h"

extern char** environ;

namespace tg::test {
namespace {

class TgctlUserTest : public TgctlTest {
protected:
    std::uint32_t authenticate(const std::string& user, const std::string& password) {
        ConfigStore store(m_store);
        AccountStore accounts(store);
        return accounts.authenticate(user, password);
    }
};

TEST_F(TgctlUserTest, PasswordsFromStandardInputAuthenticateWithTheirType) {
    expectOk(tgctl({"user", "add", "alice", "--edit"}, "s3cret\r\nignored\n"));
    expectOk(tgctl({"user", "add", "bob"}, "pa:ss"));  // the last line needs no line end
    expectOk(tgctl({"user", "add", "empty"}, "\n"));
    expectOk(tgctl({"user", "list"}), "alice\tedit\nbob\tview\nempty\tview\n");
    EXPECT_EQ(authenticate("alice", "s3cret"), 2u);
    EXPECT_EQ(authenticate("alice", "s3cret\r"), 0u);
    EXPECT_EQ(authenticate("bob", "pa:ss"), 1u);
    EXPECT_EQ(authenticate("empty", ""), 1u);

    expectOk(tgctl({"user", "add", "bob", "--edit"}, "new\n"));  // replaces password and type
    EXPECT_EQ(authenticate("bob", "pa:ss"), 0u);
    EXPECT_EQ(authenticate("bob", "new"), 2u);
}

TEST_F(TgctlUserTest, BadNamesAndMissingPasswordsAreRefusedAndStoreNothing) {
    expectFailure(tgctl({"user", "add", ""}, "x\n"), "Please fill user name");
    expectFailure(tgctl({"user", "add", "a\\b"}, "x\n"), "a user name can not contain a backslash");
    expectFailure(tgctl({"user", "add", "carol"}),
                  "no password on standard input (one line is read)");
    // Basic credentials end the name at the first ':' and the text at a zero byte: such an
    // account could never log in.
    expectFailure(tgctl({"user", "add", "ca:rol"}, "x\n"), "a user name can not contain ':'");
    expectFailure(tgctl({"user", "add", "ca\trol"}, "x\n"),
                  "a user name can not contain control characters");
    expectFailure(tgctl({"user", "add", "carol"}, std::string("pa\0ss\n", 6)),
                  "a password can not contain a zero byte");
    expectOk(tgctl({"user", "list"}));

    expectOk(tgctl({"user", "add", "Alice"}, "one\n"));
    // The store keeps Alice and ALICE under one key: this would change Alice's password.
    expectFailure(tgctl({"user", "add", "ALICE"}, "two\n"),
                  "user Alice exists already; names that differ only in case share one account");
    EXPECT_EQ(authenticate("Alice", "one"), 1u);
    expectFailure(tgctl({"user", "remove", "alice"}), "no user alice");
    expectOk(tgctl({"user", "remove", "Alice"}));
    expectOk(tgctl({"user", "list"}));
}

// tgctl on a pseudo-terminal: its standard input is the terminal, its output goes to pipes.
class TerminalRun {
public:
    explicit TerminalRun(const std::vector<std::string>& args) {
        m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) return;
        m_slave = open(ptsname(m_master), O_RDWR | O_NOCTTY | O_CLOEXEC);
        int err[2];
        if (m_slave < 0 || pipe2(err, O_CLOEXEC) != 0) return;
        m_err = err[0];
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, m_slave, 0);
        posix_spawn_file_actions_adddup2(&actions, err[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        std::vector<std::string> words{TGCTL_PATH};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, TGCTL_PATH, &actions, nullptr, argv.data(), environ) != 0) {
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(err[1]);
    }
    ~TerminalRun() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        for (int fd : {m_master, m_slave, m_err}) {
            if (fd >= 0) close(fd);
        }
    }
    bool started() const { return m_pid > 0; }

    // Collects the output until it holds `text`; false after 20 s or at its end.
    bool waitFor(const std::string& text) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (m_output.find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            pollfd fd{m_err, POLLIN, 0};
            if (poll(&fd, 1, 100) <= 0) continue;
            char buffer[256];
            const ssize_t n = read(m_err, buffer, sizeof buffer);
            if (n <= 0) return false;
            m_output.append(buffer, static_cast<std::size_t>(n));
        }
        return true;
    }
    void type(const std::string& text) {
        ASSERT_EQ(write(m_master, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    // What the terminal showed, without waiting.
    std::string screen() {
        std::string shown;
        char buffer[256];
        pollfd fd{m_master, POLLIN, 0};
        while (poll(&fd, 1, 0) > 0) {
            const ssize_t n = read(m_master, buffer, sizeof buffer);
            if (n <= 0) break;
            shown.append(buffer, static_cast<std::size_t>(n));
        }
        return shown;
    }
    int wait() {
        waitFor("\x01");  // reads until the output ends
        int status = 0;
        waitpid(std::exchange(m_pid, -1), &status, 0);
        return status;
    }
    bool echoOn() const {
        termios settings{};
        return tcgetattr(m_slave, &settings) == 0 && (settings.c_lflag & ECHO) != 0;
    }
    const std::string& output() const { return m_output; }
    pid_t pid() const { return m_pid; }

private:
    int m_master = -1;
    int m_slave = -1;
    int m_err = -1;
    pid_t m_pid = -1;
    std::string m_output;
};

TEST_F(TgctlUserTest, TerminalAsksTwiceWithoutEchoAndRestoresTheTerminal) {
    {
        TerminalRun run({"--store", m_store, "user", "add", "dora"});
        ASSERT_TRUE(run.started());
        ASSERT_TRUE(run.waitFor("Password: "));
        run.type("first\n");
        ASSERT_TRUE(run.waitFor("Retype password: "));
        run.type("second\n");
        const int status = run.wait();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
        EXPECT_NE(run.output().find("tgctl:  Passwords are not equal. Please try again.\n"),
                  std::string::npos)
            << run.output();
        EXPECT_EQ(run.screen().find("first"), std::string::npos);
        EXPECT_TRUE(run.echoOn());
    }
    expectOk(tgctl({"user", "list"}));
    {
        TerminalRun run({"--store", m_store, "user", "add", "dora", "--edit"});
        ASSERT_TRUE(run.waitFor("Password: "));
        run.type("same\n");
        ASSERT_TRUE(run.waitFor("Retype password: "));
        run.type("same\n");
        const int status = run.wait();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << run.output();
        EXPECT_TRUE(run.echoOn());
    }
    EXPECT_EQ(authenticate("dora", "same"), 2u);
    {
        TerminalRun run({"--store", m_store, "user", "add", "eve"});
        ASSERT_TRUE(run.waitFor("Password: "));
        kill(run.pid(), SIGINT);  // Ctrl-C while echo is off
        const int status = run.wait();
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT);
        EXPECT_TRUE(run.echoOn());
    }
}

TEST_F(TgctlUserTest, SettingsAreCheckedStoredAndRefusedWhileTheDaemonRuns) {
    const std::string defaults =
        "Port\t0 (not stored)\teffective 80\nWebLogEnabled\t1 (not stored)\n"
        "MaxLogSize\t0 (not stored)\teffective 1 MB\nLogPath\t(not stored)\n"
        "MaxHeadBytes\t65536 (not stored)\nMaxBodyBytes\t1048576 (not stored)\n"
        "IdleTimeoutSeconds\t30 (not stored)\nMaxConnections\t1000 (not stored)\n"
        "MetricsMaxLabels\t10000 (not stored)\nAllowedHosts\t(not stored)\n";
    { ConfigStore created(m_store); }  // reading needs a store
    expectOk(tgctl({"settings", "show"}), defaults);
    for (const char* port : {"0", "65536", "70000", "-1", "80x", ""}) {
        SCOPED_TRACE(port);
        expectFailure(tgctl({"settings", "set", "Port", port}),
                      std::string("Port must be a number from 1 to 65535, not \"") + port + "\"");
    }
    // The limits among them refuse values that would stop the server from answering anyone.
    for (const auto& [name, value, must] : std::vector<std::array<std::string, 3>>{
             {"WebLogEnabled", "2", "0 or 1"},
             {"MaxLogSize", "4294967296", "a number of megabytes from 0 to 4294967295"},
             {"MaxConnections", "0", "a number from 1 to 100000"},
             {"MaxHeadBytes", "0", "a number of bytes from 1024 to 16777216"},
             {"MaxBodyBytes", "0", "a number of bytes from 1024 to 67108864"},
             {"IdleTimeoutSeconds", "0", "a number of seconds from 1 to 3600"},
             {"MetricsMaxLabels", "10000001", "a number from 1 to 10000000"},
         }) {
        expectFailure(tgctl({"settings", "set", name, value}),
                      name + " must be " + must + ", not \"" + value + "\"");
    }
    EXPECT_EQ(tgctl({"settings", "set", "port", "80"}).exitCode, 2);
    expectOk(tgctl({"settings", "show"}), defaults);  // nothing stored by the refusals

    expectOk(tgctl({"settings", "set", "Port", "65535"}));
    expectOk(tgctl({"settings", "set", "WebLogEnabled", "0"}));
    expectOk(tgctl({"settings", "set", "MaxLogSize", "0"}));
    expectOk(tgctl({"settings", "set", "MaxConnections", "100000"}));
    expectOk(tgctl({"settings", "set", "MetricsMaxLabels", "500"}));
    expectFailure(tgctl({"settings", "set", "AllowedHosts", "logs.example.org,a b"}),
                  "AllowedHosts must be host names or addresses separated by commas, not "
                  "\"a b\"");
    expectOk(tgctl({"settings", "set", "AllowedHosts", "logs.example.org, [::5]"}));
    {
        InstanceLock daemon{std::filesystem::path(m_store), InstanceLock::Mode::Instance};
        ASSERT_TRUE(daemon.held());
        expectFailure(tgctl({"settings", "set", "LogPath", "/tmp/elsewhere.log"}), kDaemonRunning);
        expectOk(tgctl({"user", "add", "frank"}, "pw\n"));  // accounts are read per request
    }
    expectOk(tgctl({"settings", "set", "LogPath", "/var/log/tg \xe9.log"}));
    expectOk(tgctl({"settings", "show"}),
             "Port\t65535\teffective 65535\nWebLogEnabled\t0\nMaxLogSize\t0\teffective 1 MB\n"
             "LogPath\t/var/log/tg \xe9.log\nMaxHeadBytes\t65536\nMaxBodyBytes\t1048576\n"
             "IdleTimeoutSeconds\t30\nMaxConnections\t100000\nMetricsMaxLabels\t500\n"
             "AllowedHosts\tlogs.example.org, [::5]\n");
}

}  // namespace
}  // namespace tg::test
