#include "tools/password_input.h"

#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>

#include "tools/command_line.h"

namespace tg {
namespace {

constexpr std::size_t kMaxPassword = 4096;
constexpr std::array kEndingSignals = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// What the signal handler restores; set only while echo is off.
struct termios g_savedTerminal;
volatile std::sig_atomic_t g_terminalFd = -1;

extern "C" void restoreTerminalAndDie(int signal) {
    if (g_terminalFd >= 0) ::tcsetattr(g_terminalFd, TCSAFLUSH, &g_savedTerminal);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// Turns echo off on `fd` for its lifetime. Ctrl-C and the other ending signals stay signals;
// their handler puts the settings back before the process ends.
class EchoOff {
public:
    explicit EchoOff(int fd) : m_fd(fd) {
        if (::tcgetattr(fd, &g_savedTerminal) != 0) {
            throw CommandError(std::string("cannot read the terminal settings: ") +
                               std::strerror(errno));
        }
        struct sigaction action {};
        action.sa_handler = restoreTerminalAndDie;
        sigemptyset(&action.sa_mask);
        g_terminalFd = fd;
        for (std::size_t i = 0; i < kEndingSignals.size(); ++i) {
            ::sigaction(kEndingSignals[i], &action, &m_previous[i]);
        }
        struct termios quiet = g_savedTerminal;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        if (::tcsetattr(fd, TCSAFLUSH, &quiet) != 0) {
            const int error = errno;
            restore();
            throw CommandError(std::string("cannot turn echo off: ") + std::strerror(error));
        }
    }
    ~EchoOff() { restore(); }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    void restore() {
        ::tcsetattr(m_fd, TCSAFLUSH, &g_savedTerminal);
        g_terminalFd = -1;
        for (std::size_t i = 0; i < kEndingSignals.size(); ++i) {
            ::sigaction(kEndingSignals[i], &m_previous[i], nullptr);
        }
    }

    int m_fd;
    std::array<struct sigaction, kEndingSignals.size()> m_previous{};
};

// One line of `fd` without its LF or CR LF; none when the input ended before any byte.
std::optional<std::string> readLine(int fd) {
    std::string line;
    bool any = false;
    for (;;) {
        char c;
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0)
            throw CommandError(std::string("cannot read the password: ") + std::strerror(errno));
        if (n == 0) break;
        any = true;
        if (c == '\n') break;
        if (line.size() == kMaxPassword) {
            throw CommandError("the password is longer than " + std::to_string(kMaxPassword) +
                               " bytes");
        }
        line += c;
    }
    if (!any) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

std::string ask(const char* prompt) {
    std::optional<std::string> answer;
    {
        // Echo goes off before the prompt shows, so nothing typed after it is echoed.
        EchoOff quiet(STDIN_FILENO);
        std::fputs(prompt, stderr);
        std::fflush(stderr);
        answer = readLine(STDIN_FILENO);
    }
    std::fputc('\n', stderr);  // the user's Enter was not echoed
    if (!answer) throw CommandError("no password given");
    return *answer;
}

}  // namespace

PasswordEntry readPasswordEntry() {
    PasswordEntry entry;
    if (::isatty(STDIN_FILENO)) {
        entry.fromTerminal = true;
        entry.password = ask("Password: ");
        entry.retyped = ask("Retype password: ");
        return entry;
    }
    std::optional<std::string> line = readLine(STDIN_FILENO);
    if (!line) throw CommandError("no password on standard input (one line is read)");
    entry.password = *line;
    entry.retyped = *line;
    return entry;
}

}  // namespace tg
