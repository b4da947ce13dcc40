#pragma once
// One running program per store file: an exclusive flock on a lock file beside the store,
// held for the program's lifetime. The kernel lets go of it when the process ends, however it
// ends, so a killed daemon never leaves a stale lock behind.
//
// The lock belongs to the store file, not to its folder nor to the path that names it: the
// lock file is "TESSELLGROVE_MUTEX_OBJECT.<device>-<inode>" of the store file, in the folder
// that really holds it (links resolved). Stores side by side in one folder have locks of their
// own, and a store reached through a symbolic link (to it or to a folder above it) has the
// same lock as through its own path. A missing store file is created empty first (SQLite takes
// an empty file as an empty database), so that it has an identity to lock.
//
// The store file itself is not locked: SQLite keeps POSIX record locks on it, and the process
// would lose them all whenever it closed any other descriptor of that file.
//
// Editors (tgctl changing the store) take the same lock shared, for the moment of their
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
        Failed,         // the store or its lock file could not be opened or locked (see error())
    };

    static constexpr const char* kFileName = "TESSELLGROVE_MUTEX_OBJECT";

    // An editor tries once. An instance finding editors at work tries again until they are
    // done (a few seconds at most); finding another instance, it gives up at once.
    InstanceLock(const std::filesystem::path& storePath, Mode mode);
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    State state() const { return m_state; }
    bool held() const { return m_state == State::Held; }
    const std::string& error() const { return m_error; }
    // The lock file (empty when the store could not be found or created).
    const std::filesystem::path& path() const { return m_path; }

    // Lets go of the lock now (also done by destruction).
    void release();

private:
    // The lock file of the store at `storePath`; empty with m_error set on failure.
    std::filesystem::path lockFileFor(const std::filesystem::path& storePath);
    // 0 taken; else errno (EWOULDBLOCK when another process holds it).
    [[nodiscard]] int tryLock(int operation);

    UniqueFd m_fd;
    std::filesystem::path m_path;
    State m_state = State::Failed;
    std::string m_error;
};

}  // namespace tg
