#include "support/tgctl_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <stdexcept>
#include <system_error>

extern char** environ;

namespace tg::test {
namespace {

struct Pipe {
    int fds[2] = {-1, -1};
    Pipe() {
        if (pipe2(fds, O_CLOEXEC) != 0) throw std::system_error(errno, std::generic_category());
    }
    ~Pipe() {
        closeEnd(0);
        closeEnd(1);
    }
    void closeEnd(int i) {
        if (fds[i] >= 0) close(fds[i]);
        fds[i] = -1;
    }
};

}  // namespace

RunResult runTgctl(const std::vector<std::string>& args, const std::string& input) {
    std::signal(SIGPIPE, SIG_IGN);  // tgctl may exit before it read all its input
    Pipe in, out, err;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in.fds[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out.fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err.fds[1], 2);

    std::vector<std::string> words{TGCTL_PATH};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    pid_t pid = -1;
    int rc = posix_spawn(&pid, TGCTL_PATH, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::system_error(rc, std::generic_category(), "posix_spawn");
    in.closeEnd(0);
    out.closeEnd(1);
    err.closeEnd(1);

    RunResult result;
    std::size_t written = 0;
    if (input.empty()) in.closeEnd(1);
    while (out.fds[0] >= 0 || err.fds[0] >= 0) {
        pollfd fds[3] = {{out.fds[0], POLLIN, 0}, {err.fds[0], POLLIN, 0}, {in.fds[1], POLLOUT, 0}};
        if (poll(fds, 3, 60000) <= 0) break;  // a hung tgctl fails the test instead of hanging it
        for (int i = 0; i < 2; ++i) {
            if (!fds[i].revents) continue;
            char buffer[65536];
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            Pipe& pipe = i == 0 ? out : err;
            if (n <= 0) {
                pipe.closeEnd(0);
            } else {
                (i == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
            }
        }
        if (fds[2].revents) {
            ssize_t n = write(in.fds[1], input.data() + written, input.size() - written);
            if (n > 0) written += static_cast<std::size_t>(n);
            if (n <= 0 || written == input.size()) in.closeEnd(1);
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    return result;
}

RunResult TgctlTest::tgctl(std::vector<std::string> words, const std::string& input) {
    words.insert(words.begin(), {"--store", m_store});
    return runTgctl(words, input);
}

void TgctlTest::expectOk(const RunResult& result, const std::string& out) {
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, out);
    EXPECT_EQ(result.err, "");
}

void TgctlTest::expectFailure(const RunResult& result, const std::string& message) {
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "tgctl: " + message + "\n");
}

}  // namespace tg::test
