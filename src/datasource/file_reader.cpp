#include "datasource/file_reader.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <string_view>

#include "config/store_path.h"

namespace tg {
namespace {

// A file is read 64 KiB at a time: fewer system calls and fewer chunks to hand on than with
// the 8 KiB pieces the network readers take; where the pieces end changes no record.
constexpr std::size_t kBufferSize = 64 << 10;
constexpr std::chrono::milliseconds kPollInterval{1000};
// How much of what was read before the position its sample covers, and how much of the latest
// input the reader keeps to take it from (room for an incomplete line of the same size).
constexpr std::uint64_t kSampleSize = 4096;
constexpr std::size_t kTailSize = 2 * kSampleSize;
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

// FNV-1a: cheap, and any change of the sampled bytes changes it but by rare chance.
std::uint32_t checksum(std::string_view bytes) {
    std::uint32_t sum = 2166136261u;
    for (const char c : bytes) sum = (sum ^ static_cast<unsigned char>(c)) * 16777619u;
    return sum;
}

// Whether `fd` holds the sampled bytes.
bool holds(int fd, const ContentCheck& check) {
    char buffer[kSampleSize];
    const std::uint64_t size = std::min(kSampleSize, check.end);
    std::uint64_t done = 0;
    while (done < size) {
        const ssize_t got =
            ::pread(fd, buffer + done, size - done, static_cast<off_t>(check.end - size + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        done += static_cast<std::uint64_t>(got);
    }
    return checksum(std::string_view(buffer, size)) == check.sum;
}

struct DirClose {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// The regular file of inode `fileId` in `folder` (not its sub-folders), opened; empty when
// there is none.
UniqueFd openByIdentity(const std::string& folder, std::uint64_t fileId) {
    std::unique_ptr<DIR, DirClose> dir(::opendir(folder.c_str()));
    struct stat folderStatus;
    if (!dir || ::fstat(::dirfd(dir.get()), &folderStatus) != 0) return UniqueFd();
    while (const dirent* entry = ::readdir(dir.get())) {
        struct stat status;
        if (::fstatat(::dirfd(dir.get()), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(status.st_mode) || status.st_ino != fileId ||
            status.st_dev != folderStatus.st_dev) {
            continue;
        }
        return UniqueFd(
            ::openat(::dirfd(dir.get()), entry->d_name, O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    }
    return UniqueFd();
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
    // Also when nothing new comes: duplicates that could not be written are tried again.
    m_source.flushDuplicates();
    const std::string path = m_source.connect();
    if (!m_file && !m_source.stopping()) resume(path, position);
    // Lines a writer still appended to a file that was renamed or deleted since the last pass.
    if (m_file) catchUp();
    // The open file is left only once it has been read to its end.
    if (!m_source.stopping() && !m_source.duplicatesBackedUp()) openIfReplaced(path);
    if (!m_file) return;  // missing or unreadable: no data and no message
    recordPosition();
}

void FileReader::resume(const std::string& path, const ReadPosition& position) {
    // Nothing is read (nor looked for) until a regular file appears at the path.
    struct stat named;
    if (::stat(path.c_str(), &named) != 0 || !S_ISREG(named.st_mode)) return;
    // A position whose file is unknown (written by hand) is trusted.
    if (position.fileId == 0 || named.st_ino == position.fileId) {
        // Non-blocking, so a FIFO swapped in after the check above cannot hold the reader.
        UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        struct stat opened;
        if (file && ::fstat(file.get(), &opened) == 0 && S_ISREG(opened.st_mode)) {
            follow(std::move(file), opened, position.offset, position.check);
            return;
        }
    }
    if (position.fileId != 0 && position.offset > 0) {
        // Rotated by rename while no reader ran: the rest of that file comes first (the file
        // at the path follows once it is done).
        UniqueFd file = openByIdentity(directoryOf(path), position.fileId);
        struct stat opened;
        if (file && ::fstat(file.get(), &opened) == 0 &&
            static_cast<std::uint64_t>(opened.st_size) >= position.offset &&
            (!position.check || holds(file.get(), *position.check))) {
            follow(std::move(file), opened, position.offset, position.check);
            return;
        }
    }
    UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat opened;
    if (file && ::fstat(file.get(), &opened) == 0 && S_ISREG(opened.st_mode)) {
        follow(std::move(file), opened, 0, std::nullopt);  // the position was another file's
    }
}

void FileReader::openIfReplaced(const std::string& path) {
    struct stat named;
    if (!m_file || ::stat(path.c_str(), &named) != 0 || !S_ISREG(named.st_mode)) return;
    if (named.st_ino == m_fileId && named.st_dev == m_fileDevice) return;

    UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat opened;
    if (!file || ::fstat(file.get(), &opened) != 0 || !S_ISREG(opened.st_mode)) return;
    finishContent();  // rotated or re-created: the old file is done
    follow(std::move(file), opened, 0, std::nullopt);
    catchUp();
}

void FileReader::follow(UniqueFd file, const struct stat& status, std::uint64_t start,
                        const std::optional<ContentCheck>& check) {
    if (!m_file) {
        // Starting from the stored position, which leaves out the pending bytes: they are
        // read again from the file, so the copy kept in memory goes.
        m_source.clearPending();
    }
    m_file = std::move(file);
    m_fileDevice = status.st_dev;
    m_fileId = status.st_ino;
    m_offset = start;
    m_tail.clear();
    m_check = check;
    m_source.setInputBase({start, m_fileId, m_generation, m_check});
}

void FileReader::catchUp() {
    struct stat status;
    if (m_source.stopping() || ::fstat(m_file.get(), &status) != 0) return;
    const auto size = static_cast<std::uint64_t>(status.st_size);
    // Truncated (copy and truncate), or truncated and written again past the position: the
    // old content is done, the new one starts at 0.
    if (size < m_offset || (size > m_offset && m_check && !holds(m_file.get(), *m_check))) {
        finishContent();
        m_offset = 0;
        m_tail.clear();
        m_check.reset();
        m_source.setInputBase({0, m_fileId, m_generation, std::nullopt});
    }
    if (size > m_offset) readToEnd();
}

void FileReader::finishContent() {
    if (!m_source.pending().empty()) m_source.parseChunk("\n");
    // Left over only when a stop cut the completion short; the content it belongs to is gone
    // (renamed away or truncated), so a later reader could not read it again either.
    m_source.clearPending();
}

void FileReader::readToEnd() {
    std::array<char, kBufferSize> buffer;
    for (;;) {
        const ssize_t size =
            ::pread(m_file.get(), buffer.data(), buffer.size(), static_cast<off_t>(m_offset));
        if (size < 0 && errno == EINTR) continue;
        // 0 at the end; an error ends this pass and the next one tries again.
        if (size <= 0) return;
        // A piece read after a stop (also one that came while parsing the previous piece) is
        // left uncounted for the next reader, which starts from the recorded position.
        if (m_source.stopping()) return;
        const std::string_view piece(buffer.data(), static_cast<std::size_t>(size));
        m_source.parseChunk(piece);
        m_offset += piece.size();
        if (piece.size() >= kTailSize) {
            m_tail.assign(piece.substr(piece.size() - kTailSize));
        } else {
            m_tail.append(piece);
            if (m_tail.size() > kTailSize) m_tail.erase(0, m_tail.size() - kTailSize);
        }
        // The rest waits in the file until the duplicate log takes records again.
        if (m_source.duplicatesBackedUp()) return;
    }
}

void FileReader::recordPosition() {
    const std::uint64_t pending = m_source.pending().size();
    const std::uint64_t offset = m_offset >= pending ? m_offset - pending : 0;
    // A new sample when the bytes before the position are at hand; else the last one stays,
    // which was taken before the position too.
    const std::uint64_t sample = std::min(kSampleSize, offset);
    if (sample > 0 && m_offset - offset + sample <= m_tail.size()) {
        const std::size_t from = m_tail.size() - (m_offset - offset) - sample;
        m_check = ContentCheck{offset, checksum(std::string_view(m_tail).substr(from, sample))};
    }
    const ReadPosition position{offset, m_fileId, m_generation, m_check};
    // Refused when a reset came in between: the next pass sees the new generation and starts
    // the file again from its beginning.
    [[maybe_unused]] const bool recorded = m_source.updateReadPosition(position);
}

void FileReader::closeFile() {
    m_file.reset();
    m_fileDevice = 0;
    m_fileId = 0;
    m_offset = 0;
    m_tail.clear();
    m_check.reset();
}

}  // namespace tg
