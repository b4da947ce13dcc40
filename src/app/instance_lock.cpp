#include "app/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "config/store_path.h"

namespace tg {
namespace {

// Editors hold the lock for one change of a few store writes.
constexpr auto kEditorPatience = std::chrono::seconds(10);
constexpr auto kEditorPoll = std::chrono::milliseconds(20);

}  // namespace

std::filesystem::path InstanceLock::pathFor(const std::filesystem::path& storePath) {
    return std::filesystem::path(directoryOf(storePath.string())) / kFileName;
}

int InstanceLock::tryLock(int operation) {
    int result;
    do {
        result = ::flock(m_fd.get(), operation | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    return result == 0 ? 0 : errno;
}

InstanceLock::InstanceLock(const std::filesystem::path& storePath, Mode mode) {
    const std::filesystem::path path = pathFor(storePath);
    // Read-only is enough for flock, and lets a daemon running as its own user lock a file
    // that an administrator's tgctl happened to create first.
    m_fd.reset(::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644));
    if (!m_fd) {
        m_error = path.string() + ": " + std::strerror(errno);
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + kEditorPatience;
    int error = tryLock(mode == Mode::Instance ? LOCK_EX : LOCK_SH);
    // An exclusive lock refused while a shared one is granted: only editors are at work.
    while (mode == Mode::Instance && error == EWOULDBLOCK && tryLock(LOCK_SH) == 0 &&
           std::chrono::steady_clock::now() < deadline) {
        ::flock(m_fd.get(), LOCK_UN);
        std::this_thread::sleep_for(kEditorPoll);
        error = tryLock(LOCK_EX);
    }
    if (error == 0) {
        m_state = State::Held;
    } else if (error == EWOULDBLOCK) {
        m_state = State::HeldElsewhere;
        m_fd.reset();
    } else {
        m_error = path.string() + ": " + std::strerror(error);
        m_fd.reset();
    }
}

void InstanceLock::release() {
    m_fd.reset();
    if (m_state == State::Held) m_state = State::Failed;
}

}  // namespace tg
