#include "datasource/file_reader.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string_view>

#include "config/store_path.h"

namespace tg {
namespace {

constexpr std::size_t kBufferSize = 8192;  // read at most one byte less, as every reader does
constexpr std::chrono::milliseconds kPollInterval{1000};
constexpr std::uint32_t kWatchedChanges =
    IN_MODIFY | IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_CLOSE_WRITE | IN_ATTRIB;
// After any of these the watch is gone or events were lost: it is made again.
constexpr std::uint32_t kWatchLost = IN_IGNORED | IN_DELETE_SELF | IN_UNMOUNT | IN_Q_OVERFLOW;

// An inotify descriptor watching `folder` (not its sub-folders); empty when that fails.
UniqueFd watchFolder(const std::string& folder) {
    UniqueFd notify(inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!notify) return notify;
    if (inotify_add_watch(notify.get(), folder.c_str(), kWatchedChanges) < 0) return UniqueFd();
    return notify;
}

// Reads every queued event; true when one of them says the watch must be made again.
bool drainEvents(int notifyFd) {
    alignas(inotify_event) char buffer[4096];
    bool lost = false;
    for (;;) {
        const ssize_t size = ::read(notifyFd, buffer, sizeof buffer);
        if (size < 0 && errno == EINTR) continue;
        if (size <= 0) return lost;  // EAGAIN: nothing more queued
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= size;) {
            inotify_event event;
            std::memcpy(&event, buffer + at, sizeof event);
            if (event.mask & kWatchLost) lost = true;
            at += static_cast<ssize_t>(sizeof event + event.len);
        }
    }
}

}  // namespace

FileReader::FileReader(DataSource& source) : m_source(source) {}

void FileReader::run() {
    const std::string folder = directoryOf(m_source.connect());
    while (!m_source.stopping()) {
        UniqueFd notify = watchFolder(folder);
        // Read after the watch is in place, so no change slips in between the two.
        readNew();
        if (!notify) {
            // No folder to watch (yet): poll instead.
            m_source.waitForStop(kPollInterval);
            continue;
        }
        if (followChanges(notify.get())) return;
    }
}

bool FileReader::followChanges(int notifyFd) {
    while (!m_source.stopping()) {
        const int ready = m_source.wakeEvent().waitReadable(notifyFd, kPollInterval);
        if (ready < 0) return true;
        const bool lost = ready > 0 && drainEvents(notifyFd);
        // Also on a time-out: network file systems report no changes at all.
        readNew();
        if (lost) return false;
    }
    return true;
}

void FileReader::readNew() {
    const ReadPosition position = m_source.readPosition();
    if (position.generation != m_generation) {
        // A reset: the file starts again from the position it left (0).
        closeFile();
        m_generation = position.generation;
    }
    // Lines a writer still appended to a file that was renamed or deleted since the last pass.
    if (m_file) readToEnd();

    if (!m_source.stopping()) openIfReplaced(m_source.connect(), position);
    if (!m_file) return;  // missing or unreadable: no data and no message

    struct stat status;
    if (!m_source.stopping() && ::fstat(m_file.get(), &status) == 0) {
        const auto size = static_cast<std::uint64_t>(status.st_size);
        if (size < m_offset) {
            // Truncated (copy and truncate): the old content is done, the new one starts at 0.
            finishContent();
            m_offset = 0;
            m_source.setInputBase({0, m_fileId, m_generation});
        }
        if (size > m_offset) readToEnd();
    }
    recordPosition();
}

void FileReader::openIfReplaced(const std::string& path, const ReadPosition& position) {
    struct stat named;
    if (::stat(path.c_str(), &named) != 0 || !S_ISREG(named.st_mode)) return;
    if (m_file && named.st_ino == m_fileId && named.st_dev == m_fileDevice) return;

    // Non-blocking, so a FIFO swapped in after the check above cannot hold the reader.
    UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat opened;
    if (!file || ::fstat(file.get(), &opened) != 0 || !S_ISREG(opened.st_mode)) return;

    std::uint64_t start = 0;
    if (m_file) {
        finishContent();  // rotated or re-created: the old file is done
    } else {
        // Starting from the stored position, which leaves out the pending bytes: they are
        // read again from the file, so the copy kept in memory goes.
        m_source.clearPending();
        // A position that belongs to another file does not apply; one whose file is unknown
        // (written by hand) is trusted.
        if (position.fileId == 0 || position.fileId == opened.st_ino) start = position.offset;
    }
    m_file = std::move(file);
    m_fileDevice = opened.st_dev;
    m_fileId = opened.st_ino;
    m_offset = start;
    m_source.setInputBase({start, m_fileId, m_generation});
}

void FileReader::finishContent() {
    if (!m_source.pending().empty()) m_source.parseChunk("\n");
    // Left over only when a stop cut the completion short; the content it belongs to is gone
    // (renamed away or truncated), so a later reader could not read it again either.
    m_source.clearPending();
}

void FileReader::readToEnd() {
    char buffer[kBufferSize];
    for (;;) {
        const ssize_t size =
            ::pread(m_file.get(), buffer, kBufferSize - 1, static_cast<off_t>(m_offset));
        if (size < 0 && errno == EINTR) continue;
        // 0 at the end; an error ends this pass and the next one tries again.
        if (size <= 0) return;
        // A piece read after a stop (also one that came while parsing the previous piece) is
        // left uncounted for the next reader, which starts from the recorded position.
        if (m_source.stopping()) return;
        m_source.parseChunk(std::string_view(buffer, static_cast<std::size_t>(size)));
        m_offset += static_cast<std::uint64_t>(size);
    }
}

void FileReader::recordPosition() {
    const std::uint64_t pending = m_source.pending().size();
    const ReadPosition position{m_offset >= pending ? m_offset - pending : 0, m_fileId,
                                m_generation};
    // Refused when a reset came in between: the next pass sees the new generation and starts
    // the file again from its beginning.
    [[maybe_unused]] const bool recorded = m_source.updateReadPosition(position);
}

void FileReader::closeFile() {
    m_file.reset();
    m_fileDevice = 0;
    m_fileId = 0;
    m_offset = 0;
}

}  // namespace tg
