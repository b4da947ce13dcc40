#pragma once
// One running program per store: an exclusive flock on the file TESSELLGROVE_MUTEX_OBJECT in
// the store's folder, held for the program's lifetime. The kernel lets go of it when the
// process ends, however it ends, so a killed daemon never leaves a stale lock behind.
//
// Editors (tgctl changing definitions) take the same lock shared, for the moment of their
// change: they fail while a program runs, and a program starting meanwhile waits for them
// instead of taking them for another instance.

#include <filesystem>
#include <string>

#include "platform/unique_fd.h"

namespace tg {

class InstanceLock {
public:
    enum class Mode {
        Instance,  // exclusive: the running program
        Editor,    // shared: a change made while no program runs
    };
    enum class State {
        Held,           // this object owns the lock
        HeldElsewhere,  // another process runs the program on this store
        Failed,         // the lock file could not be opened or locked (see error())
    };

    static constexpr const char* kFileName = "TESSELLGROVE_MUTEX_OBJECT";
    static std::filesystem::path pathFor(const std::filesystem::path& storePath);

    // An editor tries once. An instance finding editors at work tries again until they are
    // done (a few seconds at most); finding another instance, it gives up at once.
    InstanceLock(const std::filesystem::path& storePath, Mode mode);
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    State state() const { return m_state; }
    bool held() const { return m_state == State::Held; }
    const std::string& error() const { return m_error; }

    // Lets go of the lock now (also done by destruction).
    void release();

private:
    // 0 taken; else errno (EWOULDBLOCK when another process holds it).
    int tryLock(int operation);

    UniqueFd m_fd;
    State m_state = State::Failed;
    std::string m_error;
};

}  // namespace tg
