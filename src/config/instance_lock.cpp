#include "config/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace tg {
namespace {

// Editors hold the lock for one change of a few store writes.
constexpr auto kEditorPatience = std::chrono::seconds(10);
constexpr auto kEditorPoll = std::chrono::milliseconds(20);

std::string failure(const std::filesystem::path& path, int error) {
    return path.string() + ": " + std::strerror(error);
}

}  // namespace

std::filesystem::path InstanceLock::lockFileFor(const std::filesystem::path& storePath) {
    struct stat identity {};
    if (::stat(storePath.c_str(), &identity) != 0 && errno == ENOENT) {
        // Only a missing file is opened here, never the store itself: closing any descriptor
        // of the store would drop the record locks SQLite holds on it in this process.
        UniqueFd created(::open(storePath.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644));
        if (!created) {
            m_error = failure(storePath, errno);
            return {};
        }
    }
    if (::stat(storePath.c_str(), &identity) != 0) {
        m_error = failure(storePath, errno);
        return {};
    }
    std::error_code error;
    const std::filesystem::path real = std::filesystem::canonical(storePath, error);
    if (error) {
        m_error = storePath.string() + ": " + error.message();
        return {};
    }
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".%llx-%llx",
                  static_cast<unsigned long long>(identity.st_dev),
                  static_cast<unsigned long long>(identity.st_ino));
    return real.parent_path() / (std::string(kFileName) + suffix);
}

int InstanceLock::tryLock(int operation) {
    int result;
    do {
        result = ::flock(m_fd.get(), operation | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    return result == 0 ? 0 : errno;
}

InstanceLock::InstanceLock(const std::filesystem::path& storePath, Mode mode) {
    m_path = lockFileFor(storePath);
    if (m_path.empty()) return;
    // Read-only is enough for flock, and lets a daemon running as its own user lock a file
    // that an administrator's tgctl happened to create first.
    m_fd.reset(::open(m_path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644));
    if (!m_fd) {
        m_error = failure(m_path, errno);
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
        m_error = failure(m_path, error);
        m_fd.reset();
    }
}

void InstanceLock::release() {
    m_fd.reset();
    if (m_state == State::Held) m_state = State::Failed;
}

}  // namespace tg
