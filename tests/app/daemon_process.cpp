#include "daemon_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/unique_fd.h"
#include "support/temp_dir.h"

extern char** environ;

namespace tg::test {

DaemonProcess::DaemonProcess(const std::string& program, const std::vector<std::string>& args,
                             std::string errorFile)
    : m_errorFile(std::move(errorFile)) {
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, m_errorFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
        m_pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
}

DaemonProcess::~DaemonProcess() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
}

void DaemonProcess::signal(int number) {
    if (m_pid > 0) ::kill(m_pid, number);
}

int DaemonProcess::waitExit(std::chrono::seconds limit) {
    if (m_pid <= 0) return -1;
    int status = 0;
    const bool ended = waitFor([&] { return ::waitpid(m_pid, &status, WNOHANG) == m_pid; }, limit);
    if (!ended) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
        return -1;
    }
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string DaemonProcess::errors() const { return readFile(m_errorFile); }

void expectCleanStop(DaemonProcess& process) {
    process.signal(SIGTERM);
    EXPECT_EQ(process.waitExit(), 0);
    EXPECT_EQ(process.errors(), "");
}

bool accepting(std::uint16_t port) {
    UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in address = loopbackAddress(port);
    return ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) ==
           0;
}

}  // namespace tg::test
