#include "app/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <cstring>

#include "config/store_path.h"

namespace tg {

std::filesystem::path InstanceLock::pathFor(const std::filesystem::path& storePath) {
    return std::filesystem::path(directoryOf(storePath.string())) / kFileName;
}

InstanceLock::InstanceLock(const std::filesystem::path& storePath) {
    const std::filesystem::path path = pathFor(storePath);
    // Read-only is enough for flock, and lets a daemon running as its own user lock a file
    // that an administrator's tgctl happened to create first.
    m_fd.reset(::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644));
    if (!m_fd) {
        m_error = path.string() + ": " + std::strerror(errno);
        return;
    }
    int result;
    do {
        result = ::flock(m_fd.get(), LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result == 0) {
        m_state = State::Held;
    } else if (errno == EWOULDBLOCK) {
        m_state = State::HeldElsewhere;
        m_fd.reset();
    } else {
        m_error = path.string() + ": " + std::strerror(errno);
        m_fd.reset();
    }
}

void InstanceLock::release() {
    m_fd.reset();
    if (m_state == State::Held) m_state = State::Failed;
}

}  // namespace tg
