// Record parsing: received bytes to lines, lines to records, records to listeners and to the
// duplicate log.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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
// A delivery takes the source's lock once for this many lines: taking it for each line costs
// as much as a cheap listener, and others wait no longer than these lines take.
constexpr std::size_t kLinesPerLock = 64;

bool isLineEnd(char c) { return c == '\n' || c == '\r'; }

// The first CR or LF at or after `from`, or npos; `crs`: whether `text` holds a CR at all.
std::size_t findLineEnd(std::string_view text, std::size_t from, bool crs = true) {
    const char* begin = text.data() + from;
    const std::size_t size = text.size() - from;
    const void* lf = std::memchr(begin, '\n', size);
    const std::size_t lfAt = lf ? static_cast<const char*>(lf) - begin : size;
    // Only a CR before the LF matters.
    const void* cr = crs ? std::memchr(begin, '\r', lfAt) : nullptr;
    if (cr) return from + (static_cast<const char*>(cr) - begin);
    return lf ? from + lfAt : std::string_view::npos;
}

// The values as joinEscapedList writes them, and the line end.
void writeDuplicate(std::string& out, RecordView values, char separator) {
    const bool escaped = std::any_of(values.begin(), values.end(), [&](std::string_view value) {
        return value.find(separator) != std::string_view::npos;
    });
    for (const std::string_view value : values) {
        if (escaped) {
            // A value holding the separator would otherwise read back as two.
            appendEscapedEntry(out, value, separator);
        } else {
            out.append(value);
            out.push_back(separator);
        }
    }
    if (escaped) out.push_back(escapedListMark(separator));
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
    settleDelivery();
    writeDuplicatesAndReport();
}

void DataSource::writeDuplicatesAndReport() {
    std::string path;
    int error = 0;
    {
        std::lock_guard lock(m_lock);
        error = writeDuplicates();
        // What waits now, written or not: each delivery ends here.
        m_duplicateQueued.store(m_duplicateQueue.size(), std::memory_order_relaxed);
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
    // Without the lock, which a delivery holds most of the time: the size after the last
    // write, at most one batch behind.
    return m_duplicateQueued.load(std::memory_order_relaxed) > kMaxDuplicateQueue;
}

void DataSource::setInputBase(const ReadPosition& base) {
    settleDelivery();
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
    // After a stop, lines the delivery thread left go back first, so the batch it gives next
    // holds none of them and the new bytes follow them.
    if (stopping()) settleDelivery();
    // The lock is taken only when the expression or the duplicate log changed: a delivery
    // holds it most of the time.
    if (m_parseSettingsVersion.load(std::memory_order_acquire) != m_parseSettingsSeen) {
        std::lock_guard lock(m_lock);
        m_readerPattern = m_pattern;
        m_readerDuplicating = !m_definition.backup.empty();
        m_parseSettingsSeen = m_parseSettingsVersion.load(std::memory_order_relaxed);
    }
    const RegExp& pattern = *m_readerPattern;
    // Looked up only when needed: a stored separator of 0 is read from the store every time.
    const char separator = m_readerDuplicating ? m_store.listSeparator() : '\t';
    if (m_delivery && !m_pace.deliversInline()) {
        m_delivery->add([&](ParseBatch& batch) {
            // Only the split is timed: the reader may wait for room in here.
            const std::size_t before = batch.count;
            const auto began = DeliveryPace::Clock::now();
            // Deferred lines of one batch share one expression.
            if (!batch.pattern || batch.pattern == m_readerPattern) {
                m_deferring = m_delivery->deferredShare();
                if (m_deferring > 0) batch.pattern = m_readerPattern;
            }
            splitChunk(chunk, pattern, separator, batch, true);
            m_deferring = 0;
            m_pace.split(batch.count - before, DeliveryPace::Clock::now() - began);
        });
    } else {
        m_directBatch.reset();
        if (m_delivery) {
            // Timed only while there is a delivery thread to hand over to.
            const auto began = DeliveryPace::Clock::now();
            splitChunk(chunk, pattern, separator, m_directBatch, false);
            const auto split = DeliveryPace::Clock::now();
            deliverBatch(m_directBatch);
            m_pace.split(m_directBatch.count, split - began);
            m_pace.deliveredInline(m_directBatch.delivered, DeliveryPace::Clock::now() - split);
        } else {
            splitChunk(chunk, pattern, separator, m_directBatch, false);
            deliverBatch(m_directBatch);
        }
        putBackUndelivered(m_directBatch);
        m_directBatch.chunkBytes = {};  // the chunk is the caller's
    }
    if (m_delivery && m_pace.windowFull() &&
        m_pace.decide(m_delivery->busyNanos(), m_delivery->linesDelivered(),
                      m_delivery->splitNanos()) &&
        m_pace.deliversInline()) {
        // What the delivery thread holds goes first.
        settleDelivery();
    }
}

void DataSource::splitChunk(std::string_view chunk, const RegExp& pattern, char separator,
                            ParseBatch& batch, bool copyChunk) {
    batch.separator = separator;
    m_bytesRead.fetch_add(chunk.size(), std::memory_order_relaxed);
    const std::size_t linesBefore = batch.count;
    if (!m_pending.empty()) {
        // The incomplete line is completed by the chunk's bytes up to its first line end (all
        // of them when it has none): only these are copied.
        const std::size_t lineEnd =
            chunk.empty() ? std::string_view::npos : findLineEnd(chunk, 0);
        const std::size_t joined = lineEnd == std::string_view::npos ? chunk.size() : lineEnd + 1;
        m_pending.append(chunk.substr(0, joined));
        m_inputFed += joined;
        chunk.remove_prefix(joined);
        const std::size_t consumed = splitText(m_pending, m_pendingStart, pattern, batch);
        batch.appendBytes(std::string_view(m_pending).substr(0, consumed));
        m_pending.erase(0, consumed);
        m_pendingStart += consumed;
        if (!m_pending.empty()) {
            // A stop, or still no line end: the rest of the chunk waits behind it.
            m_pending.append(chunk);
            m_inputFed += chunk.size();
        }
    }
    if (m_pending.empty()) {
        // Lines wholly inside the chunk are split in place; only an incomplete line is copied.
        const std::size_t consumed = splitText(chunk, m_inputFed, pattern, batch);
        if (copyChunk) {
            batch.appendBytes(chunk.substr(0, consumed));
        } else {
            batch.chunkBytes = chunk.substr(0, consumed);  // the batch holds this chunk only
        }
        m_pendingStart = m_inputFed + consumed;
        m_inputFed += chunk.size();
        m_pending.assign(chunk.substr(consumed));
    }
    if (m_pending.size() > kMaxLineLength && !stopping()) {
        const std::string line = std::move(m_pending);
        m_pending.clear();
        m_pendingStart += line.size();
        batch.appendBytes(line);
        splitLine(pattern, line, m_pendingStart, batch);
        ParsedLine& parsed = batch.lines[batch.count - 1];
        parsed.from = parsed.lineAt = batch.bytesSize() - line.size();
    }
    // Line ends after the last line count as parsed too: the position that pairs with the
    // listeners' records is then the reader's own, with its content check.
    batch.parsedEnd = m_pendingStart;
    // Counted once per chunk: the delivery thread should not share a busy cache line.
    m_linesRead.fetch_add(batch.count - linesBefore, std::memory_order_relaxed);
}

std::size_t DataSource::splitText(std::string_view text, std::uint64_t textStart,
                                  const RegExp& pattern, ParseBatch& batch) {
    // The text's bytes follow the batch's, which the caller appends once this returns.
    const std::size_t bytesBase = batch.bytesSize();
    if (bytesBase == 0) batch.rawStart = textStart;
    std::size_t consumed = 0;  // everything before this has been split (or was line ends)
    // Most input has LF line ends only: looking for CRs once spares a search in every line.
    const bool crs = !text.empty() && std::memchr(text.data(), '\r', text.size()) != nullptr;
    while (!stopping()) {
        std::size_t start = consumed;
        while (start < text.size() && isLineEnd(text[start])) ++start;  // empty lines vanish
        if (start == text.size()) {
            consumed = start;
            break;
        }
        const std::size_t end = findLineEnd(text, start, crs);
        if (end == std::string_view::npos) {
            consumed = start;  // incomplete: waits for the rest in a later chunk
            break;
        }
        const std::size_t from = consumed;
        consumed = end + 1;
        splitLine(pattern, text.substr(start, end - start), textStart + consumed, batch);
        ParsedLine& parsed = batch.lines[batch.count - 1];
        parsed.from = bytesBase + from;
        parsed.lineAt = bytesBase + start;
    }
    return consumed;
}

void DataSource::settleDelivery() {
    if (!m_delivery) return;
    m_delivery->drain();
    // Only a stop leaves lines undelivered, and the lines after them were not delivered
    // either: the newest batch's go back first, then each older one's in front of them.
    for (ParseBatch* batch : m_delivery->batchesNewestFirst()) putBackUndelivered(*batch);
}

void DataSource::putBackUndelivered(ParseBatch& batch) {
    if (batch.delivered >= batch.count) return;
    const std::size_t from = batch.lines[batch.delivered].from;
    const std::string_view raw(batch.raw);
    if (from < raw.size()) {
        m_pending.insert(0, batch.chunkBytes);
        m_pending.insert(0, raw.substr(from));
    } else {
        m_pending.insert(0, batch.chunkBytes.substr(from - raw.size()));
    }
    m_pendingStart = batch.rawStart + from;
    batch.reset();  // put back once; later chunks start its bytes afresh
}

void DataSource::splitLine(const RegExp& pattern, std::string_view line,
                           std::uint64_t parsedEnd, ParseBatch& batch) {
    ParsedLine& parsed = batch.add();
    parsed.lineSize = line.size();
    parsed.parsedEnd = parsedEnd;
    parsed.deferred = m_lineTurn++ % DeliveryThread::kShareLines < m_deferring;
    if (parsed.deferred) {
        parsed.matched = false;
        parsed.duplicated = false;
        return;
    }
    parsed.matched = pattern.splitPieces(line, parsed.pieces) == 0;
    if (!parsed.matched) parsed.text.assign(line);
    // Made here, so that the delivery only appends it.
    parsed.duplicated = parsed.matched && m_readerDuplicating;
    if (parsed.duplicated) {
        parsed.duplicate.clear();
        writeDuplicate(parsed.duplicate, parsed.valuesIn(line), batch.separator);
    }
}

void DataSource::splitDeferred(ParseBatch& batch, std::size_t from, std::size_t to) {
    if (!batch.pattern) return;  // the reader split every line
    // Timed: the reader counts it as splitting when it decides who delivers.
    const auto began = DeliveryPace::Clock::now();
    for (std::size_t i = from; i < to; ++i) {
        ParsedLine& parsed = batch.lines[i];
        if (!parsed.deferred) continue;
        const std::string_view line = batch.bytesAt(parsed.lineAt, parsed.lineSize);
        parsed.matched = batch.pattern->splitPieces(line, parsed.pieces) == 0;
        if (!parsed.matched) parsed.text.assign(line);
        parsed.deferred = false;
    }
    batch.splitNanos += DeliveryPace::nanos(DeliveryPace::Clock::now() - began);
}

void DataSource::deliverBatch(ParseBatch& batch) {
    // The listeners may keep references to the batch's records until it ends, however it ends.
    struct EndDelivery {
        DataSource& source;
        ~EndDelivery() { source.endDelivery(); }
    } end{*this};
    DeliveryLock lock(*this);
    std::size_t groupEnd = batch.delivered;  // of the lines delivered under one lock
    // A stop ends the delivery before the next line; the reader puts the rest back.
    while (batch.delivered < batch.count && !stopping()) {
        if (batch.delivered == groupEnd) {
            // Others get the lock between groups of lines, which are split first if the
            // reader left them.
            lock.unlock();
            groupEnd = std::min(batch.count, groupEnd + kLinesPerLock);
            splitDeferred(batch, batch.delivered, groupEnd);
        }
        if (!lock.ownsLock()) lock.lock();
        deliverLine(batch.lines[batch.delivered], batch, lock);
        ++batch.delivered;
    }
    if (batch.delivered == batch.count) {
        if (!lock.ownsLock()) lock.lock();
        if (batch.parsedEnd > m_inputParsed) m_inputParsed = batch.parsedEnd;
    }
    lock.unlock();
    writeDuplicatesAndReport();
}

void DataSource::deliverLine(ParsedLine& parsed, const ParseBatch& batch, DeliveryLock& lock) {
    // The input counted as parsed changes with the delivery, under the same lock, so a
    // snapshot of the position always pairs with what the listeners hold.
    m_inputParsed = parsed.parsedEnd;
    // Read before a reset: the reader starts the input again at its next pass, so the line
    // comes again; delivered now, it would be counted into the cleared data.
    if (m_inputBase && m_inputBase->generation != m_position.generation) return;
    if (!parsed.matched) {
        m_errorRecords.fetch_add(1, std::memory_order_relaxed);
        deliverToObservers(Record{kParseErrorValue, parsed.text});
        lock.unlock();
        std::string text = "Parse Error: ";
        text.append(parsed.text);
        m_events.writeLog(name(), text);
        return;
    }
    const RecordView values = batch.valuesOf(parsed);
    if (values.size() == m_definition.fields.size()) {
        // Written when the second changes only: other threads read it.
        const std::int64_t now = std::time(nullptr);
        if (m_lastRecordTime.load(std::memory_order_relaxed) != now)
            m_lastRecordTime.store(now, std::memory_order_relaxed);
        deliverRecord(values);
        // Under the lock with the delivery, so a replay sees exactly the delivered records.
        if (!m_definition.backup.empty()) {
            if (parsed.duplicated) {
                m_duplicateQueue.append(parsed.duplicate);
            } else {
                writeDuplicate(m_duplicateQueue, values, batch.separator);
            }
        }
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
