#include "regex/regexp_sandbox.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "regex/reg_exp.h"
#include "platform/unique_fd.h"

namespace tg {
namespace {

using Clock = std::chrono::steady_clock;

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// The child's whole life: the answer, its length first, then an exit that runs none of the
// parent's exit handlers or destructors.
[[noreturn]] void answerAndExit(int fd, std::string_view pattern, std::string_view sample) {
    const std::string result = testRegexp(pattern, sample);
    const std::uint64_t size = result.size();
    const bool sent = writeAll(fd, reinterpret_cast<const char*>(&size), sizeof size) &&
                      writeAll(fd, result.data(), result.size());
    ::_exit(sent ? 0 : 1);
}

enum class Read { Done, TimedOut, Closed };

// Reads exactly `size` bytes before the deadline.
Read readBefore(int fd, char* out, std::size_t size, Clock::time_point deadline) {
    while (size > 0) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return Read::TimedOut;
        pollfd watched{fd, POLLIN, 0};
        const int ready = ::poll(&watched, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return Read::Closed;
        if (ready == 0) return Read::TimedOut;
        const ssize_t got = ::read(fd, out, size);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return Read::Closed;
        out += got;
        size -= static_cast<std::size_t>(got);
    }
    return Read::Done;
}

// Owns the child process: kills it when it may still run, and always reaps it.
class Child {
public:
    explicit Child(pid_t pid) : m_pid(pid) {}
    ~Child() {
        if (!m_reaped) {
            ::kill(m_pid, SIGKILL);
            waitForExit();
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Whether the child ended by its own exit with status 0; waits for it.
    bool exitedCleanly() {
        const int status = waitForExit();
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

private:
    int waitForExit() {
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_reaped = true;
        return status;
    }

    pid_t m_pid;
    bool m_reaped = false;
};

}  // namespace

std::string testRegexpWithin(std::string_view pattern, std::string_view sample,
                             std::chrono::milliseconds limit) {
    const Clock::time_point deadline = Clock::now() + limit;
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return std::string(kRegexpTestFailed);
    UniqueFd readEnd(ends[0]);
    UniqueFd writeEnd(ends[1]);
    const pid_t pid = ::fork();
    if (pid < 0) return std::string(kRegexpTestFailed);
    if (pid == 0) answerAndExit(writeEnd.get(), pattern, sample);
    Child child(pid);
    writeEnd.reset();  // so a child that dies without answering closes the pipe

    // The answer is read while it comes, so a long one never fills the pipe and holds the
    // child; its length comes first, so the answer never depends on who else holds the pipe.
    std::uint64_t size = 0;
    Read read = readBefore(readEnd.get(), reinterpret_cast<char*>(&size), sizeof size, deadline);
    std::string result;
    if (read == Read::Done) {
        // Never more than the sample or one of testRegexp's messages.
        if (size > sample.size() + 64) return std::string(kRegexpTestFailed);
        result.resize(size);
        read = readBefore(readEnd.get(), result.data(), result.size(), deadline);
    }
    if (read == Read::TimedOut) return std::string(kRegexpTestTimedOut);  // the child is killed
    if (read == Read::Closed || !child.exitedCleanly()) return std::string(kRegexpTestFailed);
    return result;
}

}  // namespace tg
