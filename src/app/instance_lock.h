#pragma once
// One running program per store: an exclusive flock on the file TESSELLGROVE_MUTEX_OBJECT in
// the store's folder, held for the owner's lifetime. The kernel lets go of it when the
// process ends, however it ends, so a killed daemon never leaves a stale lock behind.

#include <filesystem>
#include <string>

#include "platform/unique_fd.h"

namespace tg {

class InstanceLock {
public:
    enum class State {
        Held,           // this object owns the lock
        HeldElsewhere,  // another process owns it: a program runs on this store
        Failed,         // the lock file could not be opened or locked (see error())
    };

    static constexpr const char* kFileName = "TESSELLGROVE_MUTEX_OBJECT";
    static std::filesystem::path pathFor(const std::filesystem::path& storePath);

    // Tries once, without waiting, to take the lock of the store at `storePath`.
    explicit InstanceLock(const std::filesystem::path& storePath);
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    State state() const { return m_state; }
    bool held() const { return m_state == State::Held; }
    const std::string& error() const { return m_error; }

    // Lets go of the lock now (also done by destruction).
    void release();

private:
    UniqueFd m_fd;
    State m_state = State::Failed;
    std::string m_error;
};

}  // namespace tg
