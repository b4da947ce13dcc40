// Record parsing: received bytes to lines, lines to records, records to listeners and to the
// duplicate log.

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "datasource/data_source.h"
#include "datasource/list_text.h"

namespace tg {
namespace {

struct FileClose {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileClose>;

// An unfinished line longer than this is parsed as it stands, so that input without line
// ends (a binary file, say) cannot make the source hold unbounded memory.
constexpr std::size_t kMaxLineLength = 1 << 20;

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

void writeDuplicate(std::FILE* file, const Record& values, char separator) {
    if (listNeedsEscaping(values, separator)) {
        // A value holding the separator would otherwise read back as two.
        const std::string line = joinEscapedList(values, separator);
        std::fwrite(line.data(), 1, line.size(), file);
    } else {
        for (const auto& value : values) {
            std::fwrite(value.data(), 1, value.size(), file);
            std::fputc(separator, file);
        }
    }
    std::fwrite("\r\n", 1, 2, file);
}

}  // namespace

// Publishes the chunk's open duplicate log for as long as it is open.
class DataSource::OpenDuplicate {
public:
    OpenDuplicate(DataSource& source, std::FILE* file) : m_source(source), m_file(file) {
        std::lock_guard lock(m_source.m_lock);
        m_source.m_duplicate = file;
    }
    ~OpenDuplicate() {
        // Flushed before it is withdrawn: a snapshot that finds no open log then measures a
        // file that holds every record delivered so far.
        std::lock_guard lock(m_source.m_lock);
        if (m_file) std::fflush(m_file);
        m_source.m_duplicate = nullptr;
    }
    OpenDuplicate(const OpenDuplicate&) = delete;
    OpenDuplicate& operator=(const OpenDuplicate&) = delete;

private:
    DataSource& m_source;
    std::FILE* m_file;
};

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

std::uint64_t DataSource::duplicateLength() const {
    std::lock_guard lock(m_lock);
    if (m_backup.empty()) return 0;
    if (m_duplicate) std::fflush(m_duplicate);
    struct stat status;
    return ::stat(m_backup.c_str(), &status) == 0 ? static_cast<std::uint64_t>(status.st_size) : 0;
}

void DataSource::parseChunk(std::string_view chunk) {
    std::shared_ptr<const RegExp> pattern;
    std::string backupPath;
    {
        std::lock_guard lock(m_lock);
        pattern = m_pattern;
        backupPath = m_backup;
    }
    // Opened for each chunk, so a log that was moved or deleted is started afresh; a file that
    // cannot be opened only disables duplicating.
    File duplicate;
    if (!backupPath.empty()) duplicate.reset(std::fopen(backupPath.c_str(), "ab"));
    const char separator = duplicate ? listSeparator(m_store) : '\t';
    // Lets a replay under the lock flush what this chunk has duplicated so far.
    OpenDuplicate published(*this, duplicate.get());

    // Lines wholly inside the chunk are parsed in place; only an incomplete line is copied.
    const bool joined = !m_pending.empty();
    if (joined) m_pending.append(chunk);
    const std::string_view text = joined ? std::string_view(m_pending) : chunk;
    const std::uint64_t textStart = joined ? m_pendingStart : m_inputFed;
    m_inputFed += chunk.size();

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
        parseLine(*pattern, text.substr(start, end - start), duplicate.get(), separator,
                  textStart + consumed);
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
        parseLine(*pattern, line, duplicate.get(), separator, m_pendingStart);
    }
}

void DataSource::parseLine(const RegExp& pattern, std::string_view line, std::FILE* duplicate,
                           char separator, std::uint64_t parsedEnd) {
    const bool matched = pattern.split(line, m_values) == 0;
    // The input counted as parsed changes with the delivery, under the same lock, so a
    // snapshot of the position always pairs with what the listeners hold.
    std::unique_lock lock(m_lock);
    m_inputParsed = parsedEnd;
    if (!matched) {
        deliverToObservers(Record{kParseErrorValue, std::string(line)});
        lock.unlock();
        std::string text = "Parse Error: ";
        text.append(line);
        m_events.writeLog(name(), text);
        return;
    }
    if (m_values.size() == m_fieldNames.size()) {
        deliverToObservers(m_values);
        deliverToProcessors(m_values);
        if (duplicate) writeDuplicate(duplicate, m_values, separator);
        return;
    }
    // Not duplicated: replaying the log would otherwise feed this text to diagrams as data
    // whenever the source has a single field.
    deliverToObservers(Record{kFieldCountError});
    lock.unlock();
    m_events.writeLog(name(), kFieldCountError);
}

}  // namespace tg
