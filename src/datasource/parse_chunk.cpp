// Record parsing: received bytes to lines, lines to records, records to listeners and to the
// duplicate log.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>

#include "datasource/data_source.h"
#include "datasource/list_text.h"
#include "platform/unique_fd.h"

namespace tg {
namespace {

// An unfinished line longer than this is parsed as it stands, so that input without line
// ends (a binary file, say) cannot make the source hold unbounded memory.
constexpr std::size_t kMaxLineLength = 1 << 20;
// While this much waits for an unwritable duplicate log, readers that can wait read no more.
constexpr std::size_t kMaxDuplicateQueue = 16 << 20;

bool isLineEnd(char c) { return c == '\n' || c == '\r'; }

// The first CR or LF at or after `from`, or npos.
std::size_t findLineEnd(std::string_view text, std::size_t from) {
    const char* begin = text.data() + from;
    const std::size_t size = text.size() - from;
    const void* lf = std::memchr(begin, '\n', size);
    const std::size_t lfAt = lf ? static_cast<const char*>(lf) - begin : size;
    const void* cr = std::memchr(begin, '\r', lfAt);  // only a CR before the LF matters
    if (cr) return from + (static_cast<const char*>(cr) - begin);
    return lf ? from + lfAt : std::string_view::npos;
}

void writeDuplicate(std::string& out, const Record& values, char separator) {
    if (listNeedsEscaping(values, separator)) {
        // A value holding the separator would otherwise read back as two.
        out.append(joinEscapedList(values, separator));
    } else {
        for (const auto& value : values) {
            out.append(value);
            out.push_back(separator);
        }
    }
    out.append("\r\n");
}

}  // namespace

int DataSource::writeDuplicates() {
    if (m_definition.backup.empty()) {
        m_duplicateQueue.clear();  // duplicating was turned off
        return 0;
    }
    if (m_duplicateQueue.empty()) return 0;
    // Opened for each write, so a log that was moved or deleted is started afresh.
    UniqueFd file(::open(m_definition.backup.c_str(),
                         O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666));
    if (!file) return errno;
    // Only a regular file has a length worth recording (a log may also be /dev/null).
    struct stat status;
    if (::fstat(file.get(), &status) == 0 && S_ISREG(status.st_mode)) {
        const FileIdentity opened{static_cast<std::uint64_t>(status.st_dev),
                                  static_cast<std::uint64_t>(status.st_ino)};
        if (m_duplicateFile != opened) {
            // The first write of this process into this file: what it holds so far belongs to
            // the stored position, so a start after an abrupt end cuts it back to here even
            // when no checkpoint has recorded it yet.
            recordDuplicateStart({static_cast<std::uint64_t>(status.st_size), opened});
        }
        m_duplicateFile = opened;
    }
    std::size_t written = 0;
    int error = 0;
    while (written < m_duplicateQueue.size()) {
        const ssize_t size = ::write(file.get(), m_duplicateQueue.data() + written,
                                     m_duplicateQueue.size() - written);
        if (size < 0 && errno == EINTR) continue;
        if (size <= 0) {
            error = size < 0 ? errno : EIO;
            break;
        }
        written += static_cast<std::size_t>(size);
    }
    // What was written is never written again; the rest waits for the next try.
    m_duplicateQueue.erase(0, written);
    return error;
}

void DataSource::flushDuplicates() {
    std::string path;
    int error = 0;
    {
        std::lock_guard lock(m_lock);
        error = writeDuplicates();
        path = m_definition.backup;
    }
    if (error != 0 && !m_duplicateFailing) {
        m_duplicateFailing = true;
        reportError("Cannot write the duplicate log " + path + ": " + std::strerror(error) +
                    "; its records are kept and written when it can be written again");
    } else if (error == 0 && m_duplicateFailing) {
        m_duplicateFailing = false;
        m_events.writeLog(name(), "The duplicate log " + path + " is written again");
    }
}

bool DataSource::duplicatesBackedUp() const {
    std::lock_guard lock(m_lock);
    return m_duplicateQueue.size() > kMaxDuplicateQueue;
}

void DataSource::setInputBase(const ReadPosition& base) {
    m_inputFed = 0;
    m_pendingStart = 0;
    std::lock_guard lock(m_lock);
    m_inputBase = base;
    m_inputParsed = 0;
}

ReadPosition DataSource::deliveredPosition() const {
    std::lock_guard lock(m_lock);
    if (!m_inputBase || m_inputBase->generation != m_position.generation) return m_position;
    ReadPosition delivered = *m_inputBase;
    delivered.offset += m_inputParsed;
    return delivered;
}

std::optional<DuplicateExtent> DataSource::duplicateExtent() {
    std::lock_guard lock(m_lock);
    // Written first: the log a first chunk is about to create is then known too. Without any
    // record duplicated in this process, the log is still what the stored extent says.
    [[maybe_unused]] const int error = writeDuplicates();  // the reader reports failures
    if (m_definition.backup.empty() || !m_duplicateFile) return std::nullopt;
    struct stat status;
    if (::stat(m_definition.backup.c_str(), &status) != 0) return std::nullopt;
    const FileIdentity file{static_cast<std::uint64_t>(status.st_dev),
                            static_cast<std::uint64_t>(status.st_ino)};
    if (file != *m_duplicateFile) return std::nullopt;
    return DuplicateExtent{static_cast<std::uint64_t>(status.st_size) + m_duplicateQueue.size(),
                           file};
}

void DataSource::parseChunk(std::string_view chunk) {
    std::shared_ptr<const RegExp> pattern;
    bool duplicating = false;
    {
        std::lock_guard lock(m_lock);
        pattern = m_pattern;
        duplicating = !m_definition.backup.empty();
    }
    // Looked up only when needed: a stored separator of 0 is read from the store every time.
    const char separator = duplicating ? m_store.listSeparator() : '\t';

    // Lines wholly inside the chunk are parsed in place; only an incomplete line is copied.
    const bool joined = !m_pending.empty();
    if (joined) m_pending.append(chunk);
    const std::string_view text = joined ? std::string_view(m_pending) : chunk;
    const std::uint64_t textStart = joined ? m_pendingStart : m_inputFed;
    m_inputFed += chunk.size();
    m_bytesRead.fetch_add(chunk.size(), std::memory_order_relaxed);

    std::size_t consumed = 0;  // everything before this has been parsed (or was line ends)
    while (!stopping()) {
        std::size_t start = consumed;
        while (start < text.size() && isLineEnd(text[start])) ++start;  // empty lines vanish
        if (start == text.size()) {
            consumed = start;
            break;
        }
        const std::size_t end = findLineEnd(text, start);
        if (end == std::string_view::npos) {
            consumed = start;  // incomplete: waits for the rest in a later chunk
            break;
        }
        consumed = end + 1;
        parseLine(*pattern, text.substr(start, end - start), separator, textStart + consumed);
    }
    m_pendingStart = textStart + consumed;

    if (joined) {
        m_pending.erase(0, consumed);
    } else {
        m_pending.assign(text.substr(consumed));
    }
    if (m_pending.size() > kMaxLineLength && !stopping()) {
        const std::string line = std::move(m_pending);
        m_pending.clear();
        m_pendingStart += line.size();
        parseLine(*pattern, line, separator, m_pendingStart);
    }
    {
        // Line ends after the last line count as parsed too: the position that pairs with the
        // listeners' records is then the reader's own, with its content check.
        std::lock_guard lock(m_lock);
        if (m_pendingStart > m_inputParsed) m_inputParsed = m_pendingStart;
    }
    flushDuplicates();
}

void DataSource::parseLine(const RegExp& pattern, std::string_view line, char separator,
                           std::uint64_t parsedEnd) {
    const bool matched = pattern.split(line, m_values) == 0;
    m_linesRead.fetch_add(1, std::memory_order_relaxed);
    // The input counted as parsed changes with the delivery, under the same lock, so a
    // snapshot of the position always pairs with what the listeners hold.
    std::unique_lock lock(m_lock);
    m_inputParsed = parsedEnd;
    // Read before a reset: the reader starts the input again at its next pass, so the line
    // comes again; delivered now, it would be counted into the cleared data.
    if (m_inputBase && m_inputBase->generation != m_position.generation) return;
    if (!matched) {
        m_errorRecords.fetch_add(1, std::memory_order_relaxed);
        deliverToObservers(Record{kParseErrorValue, std::string(line)});
        lock.unlock();
        std::string text = "Parse Error: ";
        text.append(line);
        m_events.writeLog(name(), text);
        return;
    }
    if (m_values.size() == m_definition.fields.size()) {
        m_lastRecordTime.store(std::time(nullptr), std::memory_order_relaxed);
        deliverToObservers(m_values);
        deliverToProcessors(m_values);
        // Under the lock with the delivery, so a replay sees exactly the delivered records.
        if (!m_definition.backup.empty()) writeDuplicate(m_duplicateQueue, m_values, separator);
        return;
    }
    // Not duplicated: replaying the log would otherwise feed this text to diagrams as data
    // whenever the source has a single field.
    m_errorRecords.fetch_add(1, std::memory_order_relaxed);
    deliverToObservers(Record{kFieldCountError});
    lock.unlock();
    m_events.writeLog(name(), kFieldCountError);
}

}  // namespace tg
