#include "datasource/odbc/duplicate_dump.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "datasource/list_text.h"

namespace tg {
namespace {

constexpr std::size_t kFlushSize = 1 << 16;

}  // namespace

DuplicateDump::DuplicateDump(std::string path, char separator)
    : m_path(std::move(path)), m_separator(separator) {
    if (m_path.empty()) {
        m_error = "No duplicate log is set: the rows cannot reach the diagrams";
        return;
    }
    // A link is followed: the file it names is replaced, and the link stays.
    char* resolved = ::realpath(m_path.c_str(), nullptr);
    const std::string target = resolved ? resolved : m_path;
    std::free(resolved);
    struct stat old;
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) {
        // Not a file to replace (/dev/null, a FIFO): written into as it is.
        m_file.reset(
            ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
        if (!m_file) failed("write", errno);
        return;
    }
    // Beside the log, so the rename stays within one file system.
    std::string name = target + ".XXXXXX";
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        failed("create a new copy of", errno);
        return;
    }
    m_file.reset(fd);
    m_temporary = std::move(name);
    m_target = target;
    // mkostemp makes it private: the new log is readable by whoever could read the old one.
    ::fchmod(m_file.get(), exists ? (old.st_mode & 07777) : 0644);
}

DuplicateDump::~DuplicateDump() {
    if (!m_temporary.empty()) ::unlink(m_temporary.c_str());
}

void DuplicateDump::write(const Record& values) {
    if (!m_file) return;
    if (listNeedsEscaping(values, m_separator)) {
        // A value holding the separator would otherwise read back as two.
        m_buffer += joinEscapedList(values, m_separator);
    } else {
        for (const std::string& value : values) {
            m_buffer += value;
            m_buffer += m_separator;
        }
    }
    m_buffer += "\r\n";
    if (m_buffer.size() >= kFlushSize) flushBuffer();
}

void DuplicateDump::flushBuffer() {
    std::size_t written = 0;
    while (m_file && written < m_buffer.size()) {
        const ssize_t size =
            ::write(m_file.get(), m_buffer.data() + written, m_buffer.size() - written);
        if (size < 0 && errno == EINTR) continue;
        if (size <= 0) {
            failed("write", size < 0 ? errno : EIO);
            break;
        }
        written += static_cast<std::size_t>(size);
    }
    m_buffer.clear();
}

bool DuplicateDump::commit() {
    flushBuffer();
    if (m_file && !m_temporary.empty() && ::fsync(m_file.get()) != 0) failed("write", errno);
    if (m_file && ::close(m_file.release()) != 0) failed("write", errno);
    if (!m_error.empty()) return false;
    if (m_temporary.empty()) return true;  // written in place
    if (::rename(m_temporary.c_str(), m_target.c_str()) != 0) {
        failed("replace", errno);
        return false;
    }
    m_temporary.clear();  // it is the log now
    return true;
}

void DuplicateDump::failed(const std::string& step, int error) {
    m_file.reset();
    if (m_error.empty()) {
        m_error = "Cannot " + step + " the duplicate log " + m_path + ": " + std::strerror(error) +
                  "; the rows are dumped again at the next poll";
    }
}

}  // namespace tg
