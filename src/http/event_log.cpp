#include "http/event_log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/unique_fd.h"

namespace tg {
namespace {

constexpr std::uint64_t kMegabyte = 1048576;

// The file mapped read-write as one view over its whole current size. A failure to map or
// to unmap leaves the message the user is to see in message().
class MappedFileView {
public:
    MappedFileView(int fd, const std::function<void*(int, std::size_t)>& mapFile) {
        struct stat info {};
        // A mapping needs a regular file with bytes in it, all addressable.
        if (::fstat(fd, &info) != 0 || info.st_size <= 0 ||
            static_cast<std::uint64_t>(info.st_size) > SIZE_MAX) {
            m_message = EventLog::kMappingFailed;
            return;
        }
        const auto size = static_cast<std::size_t>(info.st_size);
        void* view = mapFile(fd, size);
        if (view == MAP_FAILED) {
            m_message = EventLog::kViewFailed;
            return;
        }
        m_data = static_cast<char*>(view);
        m_size = size;
    }
    ~MappedFileView() { (void)close(); }
    MappedFileView(const MappedFileView&) = delete;
    MappedFileView& operator=(const MappedFileView&) = delete;

    bool isOpen() const { return m_data != nullptr; }
    char* data() { return m_data; }
    std::size_t size() const { return m_size; }
    std::string_view message() const { return m_message; }

    bool close() {
        if (m_data == nullptr) return true;
        char* data = std::exchange(m_data, nullptr);
        if (::munmap(data, m_size) == 0) return true;
        m_message = EventLog::kUnmapFailed;
        return false;
    }

private:
    char* m_data = nullptr;
    std::size_t m_size = 0;
    std::string_view m_message;
};

std::tm systemLocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm fields{};
    if (::localtime_r(&now, &fields) == nullptr) fields = std::tm{};
    return fields;
}

void* systemMapFile(int fd, std::size_t length) {
    return ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
}

void appendText(std::string& line, std::string_view text) {
    const std::size_t start = line.size();
    line.append(text);
    for (std::size_t i = start; i < line.size(); ++i) {
        if (line[i] == '\n' || line[i] == '\r' || line[i] == '\0') line[i] = ' ';
    }
}

bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

EventLog::Os EventLog::systemOs() { return Os{systemLocalNow, systemMapFile}; }

EventLog::EventLog(HttpSettings& settings, UserMessages& messages, Os os)
    : m_settings(settings), m_messages(messages), m_os(std::move(os)) {}

void EventLog::writeLog(std::string_view first, std::string_view second) {
    const EventLogSettings settings = m_settings.eventLogSettings();
    if (!settings.enabled) return;
    appendLogLine(settings.path, settings.limitMegabytes, first, second);
}

void EventLog::appendLogLine(const std::string& path, std::uint32_t limitMegabytes,
                             std::string_view first, std::string_view second) {
    if (path.empty()) return;
    // 0 means the smallest limit, as the stored setting does: never a file trimmed to nothing.
    if (limitMegabytes == 0) limitMegabytes = 1;
    const std::string line = formatLine(m_os.localNow(), first, second);
    std::string_view message;
    {
        std::lock_guard lock(m_lock);
        message = appendLocked(path, limitMegabytes * kMegabyte, line);
    }
    // Shown outside the lock: a message box may wait for the user.
    if (!message.empty()) m_messages.show(message);
}

std::string EventLog::formatLine(const std::tm& when, std::string_view first,
                                 std::string_view second) {
    // Wide enough for any int fields, so that the stamp is never cut.
    char stamp[96];
    const int n =
        std::snprintf(stamp, sizeof stamp, "%04d/%02d/%02d\t%02d:%02d:%02d\t", when.tm_year + 1900,
                      when.tm_mon + 1, when.tm_mday, when.tm_hour, when.tm_min, when.tm_sec);
    std::string line;
    line.reserve(sizeof stamp + first.size() + second.size() + 2);
    line.append(stamp, n > 0 ? static_cast<std::size_t>(n) : 0);
    appendText(line, first);
    line += '\t';
    appendText(line, second);
    if (line.size() >= kMaxLineBytes) {
        std::size_t keep = kMaxLineBytes - 1;
        // Back over UTF-8 continuation bytes so that no character is split.
        for (int i = 0;
             i < 3 && keep > 0 && (static_cast<unsigned char>(line[keep]) & 0xC0) == 0x80; ++i) {
            --keep;
        }
        line.resize(keep);
    }
    line += '\n';
    return line;
}

std::string_view EventLog::appendLocked(const std::string& path, std::uint64_t limitBytes,
                                        const std::string& line) {
    // Non-blocking, so that a path naming a FIFO or a device cannot hold the caller; such a
    // file is refused below.
    UniqueFd fd(::open(path.c_str(),
                       O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644));
    if (!fd) return {};
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
    // Another writer holds the file: this line is lost. The lock goes with the descriptor.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return {};
    // The size under the lock, so that a failed write can take back a partial line.
    if (::fstat(fd.get(), &info) != 0) return {};
    if (!writeAll(fd.get(), line)) {
        (void)::ftruncate(fd.get(), info.st_size);
        return {};
    }
    return trimLocked(fd.get(), limitBytes);
}

std::string_view EventLog::trimLocked(int fd, std::uint64_t limitBytes) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || static_cast<std::uint64_t>(info.st_size) <= limitBytes) {
        return {};
    }
    MappedFileView view(fd, m_os.mapFile);
    if (!view.isOpen()) return view.message();
    const std::size_t length = view.size();
    if (length <= limitBytes) return {};
    // Down to three quarters of the limit: the next trim comes a quarter of the limit later.
    const auto excess = static_cast<std::size_t>(length - limitBytes / 4 * 3);
    // The kept bytes begin at the first line start at or past the excess: after the first line
    // end at or past the byte before it.
    const void* lineEnd = std::memchr(view.data() + excess - 1, '\n', length - excess + 1);
    const std::size_t cut =
        lineEnd != nullptr
            ? static_cast<std::size_t>(static_cast<const char*>(lineEnd) - view.data()) + 1
            : excess;
    std::memmove(view.data(), view.data() + cut, length - cut);
    const bool unmapped = view.close();
    // The moved bytes are in the file's pages whether or not the unmap succeeded.
    (void)::ftruncate(fd, static_cast<off_t>(length - cut));
    return unmapped ? std::string_view{} : view.message();
}

}  // namespace tg
