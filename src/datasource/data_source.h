#pragma once
// One data source: its definition (name, type, expression, connect string, duplicate log,
// field names, last position), its listeners, its reader thread, and the step that turns
// received bytes into records (parseChunk). What is stored of it is a SourceDefinition; what
// the reader may do to it is SourceFeed; which reader reads it is chosen by its type
// (makeSourceReader).
//
// Threads: the definition and the listener list may be read and changed from any thread
// under m_lock. The reader thread runs while listeners are attached; parseChunk runs on it
// and keeps the incomplete last line in m_pending, which only that thread touches. The reader
// cuts and splits lines; a second thread of the reader's (DeliveryThread) delivers the records
// of one chunk while the reader splits the next, in line order. Delivery to listeners holds
// m_lock (lock order: manager, source, listener).
//
// Starting and stopping the reader are serialised by m_runLock, which is never held together
// with m_lock and never taken by the reader. Stopping wakes every wait of the reader and joins it
// without holding m_lock, so a reader busy delivering can always finish; a new reader starts only
// after the old one has ended, and the destructor joins the reader before anything is released.
// Listeners may detach from inside their own calls; attach, detach and restart must not be called
// while the caller holds this source's lock.

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "config/config_store.h"
#include "datasource/delivery_pace.h"
#include "datasource/delivery_thread.h"
#include "datasource/read_position.h"
#include "datasource/record.h"
#include "datasource/record_listener.h"
#include "datasource/source_counters.h"
#include "datasource/source_definition.h"
#include "regex/reg_exp.h"
#include "datasource/source_type.h"
#include "platform/counted_handle.h"
#include "platform/event_sink.h"
#include "platform/wake_event.h"

namespace tg {

class DataSource : public BorrowCount {
public:
    // `store` and `events` must outlive the source.
    DataSource(std::string name, ConfigStore& store, EventSink& events = noEventSink());
    virtual ~DataSource();
    DataSource(const DataSource&) = delete;
    DataSource& operator=(const DataSource&) = delete;

    // Definition. Getters return copies taken under the lock.
    SourceDefinition definition() const;
    std::string name() const;
    SourceType type() const;
    std::string regexp() const;
    std::string connect() const;
    std::string backup() const;
    FieldNames fieldNames() const;
    std::uint64_t lastPos() const;
    bool datagramLines() const;

    // Stores the expression as typed and compiles it; 0 whatever the compile result (an
    // expression that does not compile matches no line). A running reader switches to the
    // new expression at its next chunk.
    int setRegexp(std::string_view text);
    // How the expression is compiled, now (recompiled) and by later setRegexp calls.
    void setRegExpOptions(RegExpOptions options);
    int setType(SourceType type);
    int setConnect(std::string_view text);
    int setBackup(std::string_view path);
    void setFields(FieldNames names);
    // A running reader takes the change at its next start.
    void setDatagramLines(bool on);

    // Persistence under the "sources" key, one key per source named by its name.
    // load: reads every value (writing missing ones with their defaults) under `name`.
    // save: writes the definition under the current name ("lastpos" only at destruction).
    // setName: 1 and no change while listeners are attached; else discards whatever is
    // stored under the new name, takes it and saves; 0.
    void load(std::string_view name);
    // Cuts the duplicate log back to the length stored with the position, when the file at the
    // backup path is the one that length was measured on: copies written after the stored
    // data was saved (the process ended abruptly) go, since the reader duplicates them again.
    // Only the daemon's start calls it, before any reader runs.
    void cutDuplicateLog();
    void save();
    [[nodiscard]] int setName(std::string_view newName);
    static void deleteStored(ConfigStore& store, std::string_view name);

    // Adds a listener unless it is already attached; the first one starts the reader.
    void attach(RecordListener& listener);
    // Removes the first occurrence; the reader stops when none is left.
    void detach(RecordListener& listener);
    // Removes every listener and stops the reader.
    void detachAll();
    std::size_t listenerCount() const;
    bool hasListener(const RecordListener& listener) const;
    // Holds the source's lock: no record is being delivered while it is held. For callers that
    // must take a listener's lock too (source first, then listener).
    std::unique_lock<std::recursive_mutex> holdDelivery() const {
        return std::unique_lock<std::recursive_mutex>(m_lock);
    }

    // Live SourceHandles are counted by BorrowCount; the manager refuses to remove a source
    // in use.

    // While held, attaching listeners starts no reader; releasing starts it when listeners
    // are attached. Lets several listeners attach before the first record is read.
    void holdReader(bool held);

    // Deletes the duplicate log, starts FILE and ODBC sources again from the beginning
    // ("lastpos" 0), and tells every listener to forget what it accumulated.
    void reset();
    // reset, then a fresh reader when listeners are attached.
    void restart();
    bool isRunning() const;

    // Feeds the duplicate log to `listener` (or just reads it when none): records whose
    // value count matches the field names. With a limit above 0 at most limit + 2 lines are
    // delivered. 1 when the file was read, 0 when it cannot be opened.
    int replayBackup(RecordListener* listener, unsigned limit);
    // Tries the transport described by `text` (types without a transport: true); a COM source
    // tries its stored connect string instead. On failure false, with `text` replaced by the
    // reason.
    [[nodiscard]] bool testConnection(std::string& text);
    // Appends the result columns of the stored connect string's query (an ODBC source's);
    // a failure ends the list where it is.
    void odbcColumnNames(FieldNames& names) const;

    // The reader's counts so far; any thread, without the lock.
    SourceCounters counters() const {
        return {m_linesRead.load(std::memory_order_relaxed),
                m_bytesRead.load(std::memory_order_relaxed),
                m_errorRecords.load(std::memory_order_relaxed), isRunning(),
                m_lastRecordTime.load(std::memory_order_relaxed)};
    }

    // Where the reader resumes (the stored position until a reader has read).
    ReadPosition readPosition() const;
    // Where the records delivered so far end: just after the last line parsed, in the file
    // the reader follows (the stored position when no reader has read yet). Call it while
    // holding holdDelivery() to pair it with what listeners hold.
    ReadPosition deliveredPosition() const;
    // The duplicate log's extent, with every record delivered so far counted in it (records
    // that could not be written yet included). None when there is no log, or when this
    // process's reader has not written to the file now at the backup path: nothing is known
    // about it then, and what is stored must stay.
    std::optional<DuplicateExtent> duplicateExtent();
    // Pause between two tries of a failing transport (1000 ms; tests shorten it).
    std::chrono::milliseconds retryPause() const { return m_retryPause; }
    void setRetryPause(std::chrono::milliseconds pause) { m_retryPause = pause; }

protected:
    ConfigStore& store() const { return m_store; }
    EventSink& events() const { return m_events; }

private:
    // The reader's side, reached through SourceFeed: reader thread only, or a source whose
    // reader is not running.
    friend class SourceFeed;

    // The position is replaced only when no reset came in between.
    bool updateReadPosition(const ReadPosition& position);
    // A reader positioned at `base` (pending empty): the bytes it passes to parseChunk from
    // now on continue the file from there.
    void setInputBase(const ReadPosition& base);
    // Writes the duplicate records kept after a failed write; reports a failure once until a
    // write succeeds again.
    void flushDuplicates();
    // True while so much is waiting for the duplicate log that a reader should read no more.
    bool duplicatesBackedUp() const;
    // Waits up to `timeout` or until a stop is asked; true when asked.
    bool waitForStop(std::chrono::milliseconds timeout) const;
    const WakeEvent& wakeEvent() const { return m_wake; }

    // Cuts `chunk`, appended to the incomplete line kept from earlier chunks, into lines (CR
    // and LF both end a line; empty lines vanish), splits each complete line with the
    // expression and delivers the records. Lines that do not match, or give another number
    // of values than there are field names, become error records for observers and event
    // log lines. Accepted records are appended to the duplicate log. Stops early, keeping the
    // rest, once stopping is requested.
    void parseChunk(std::string_view chunk);

    // Delivery to listeners, in list order, under the lock. Processors get the records of a
    // batch with processDelivered, and deliveryEnded once the batch is done with.
    void deliverToObservers(const Record& record);
    // An accepted record of a reader's delivery to observers, then to processors; m_lock held.
    void deliverRecord(RecordView record);
    void pauseDelivery() noexcept;
    void endDelivery() noexcept;
    // m_lock as a delivery takes it: the listeners hear of every release first
    // (deliveryPaused), also of one by an exception leaving the delivery.
    class DeliveryLock {
    public:
        explicit DeliveryLock(DataSource& source)
            : m_source(source), m_lock(source.m_lock, std::defer_lock) {}
        ~DeliveryLock() { unlock(); }
        DeliveryLock(const DeliveryLock&) = delete;
        DeliveryLock& operator=(const DeliveryLock&) = delete;
        bool ownsLock() const { return m_lock.owns_lock(); }
        void lock() { m_lock.lock(); }
        void unlock() noexcept {
            if (!m_lock.owns_lock()) return;
            m_source.pauseDelivery();
            m_lock.unlock();
        }

    private:
        DataSource& m_source;
        std::unique_lock<std::recursive_mutex> m_lock;
    };
    // A reader's failure: a one-value error record for observers and an event log line.
    void reportError(const std::string& text);

    // Asks the reader and parseChunk to end, waking the reader's waits; cleared by start.
    void requestStop();
    void clearStopping() { m_stopping.store(false, std::memory_order_relaxed); }
    bool stopping() const { return m_stopping.load(std::memory_order_relaxed); }
    // Forgets the incomplete line (a reader starting afresh).
    void clearPending() {
        settleDelivery();
        m_pending.clear();
    }
    const std::string& pending() {
        settleDelivery();
        return m_pending;
    }

    // Cuts `chunk` (after the pending bytes) into lines and splits them into `batch`. Without
    // `copyChunk` the batch refers to the chunk's bytes instead of copying them, so it must be
    // delivered (and its undelivered lines put back) before the chunk goes.
    void splitChunk(std::string_view chunk, const RegExp& pattern, char separator,
                    ParseBatch& batch, bool copyChunk);
    // Splits the complete lines of `text`, which starts at `textStart` in the input, into
    // `batch`; returns how many of its bytes they take (line ends around them included).
    std::size_t splitText(std::string_view text, std::uint64_t textStart, const RegExp& pattern,
                          ParseBatch& batch);
    // Splits one complete line into the next entry of `batch`, or leaves it to the delivery
    // thread (m_deferring). `parsedEnd`: the input counted up to the end of this line and its
    // line end.
    void splitLine(const RegExp& pattern, std::string_view line, std::uint64_t parsedEnd,
                   ParseBatch& batch);
    // Splits the deferred lines among [from, to), on the delivery thread.
    void splitDeferred(ParseBatch& batch, std::size_t from, std::size_t to);
    // Delivers the lines of a chunk in order, counts the chunk as parsed and writes the
    // duplicates; on the delivery thread while a reader runs and delivering is not
    // cheap (the reader settles it before it delivers itself), else on the caller's.
    void deliverBatch(ParseBatch& batch);
    // Delivers one line (or its error record), and queues its duplicate when accepted. `lock`
    // holds m_lock; an error record's event log line is written after releasing it.
    void deliverLine(ParsedLine& parsed, const ParseBatch& batch, DeliveryLock& lock);
    void writeDuplicatesAndReport();
    // Waits until the delivery thread has delivered every chunk handed to it. The reader's
    // steps that read or move what delivery changes (position, input base, duplicate log,
    // error records) call it first.
    // A stop may have left lines undelivered: they go back in front of the pending bytes.
    void settleDelivery();
    // Hands the lines split so far to the delivery thread without waiting.
    void flushDelivery() {
        if (m_delivery) m_delivery->flush();
    }
    void putBackUndelivered(ParseBatch& batch);
    // Appends the queued duplicates to the log; 0, or the errno of the failure (the records
    // not written stay queued). m_lock held.
    int writeDuplicates();
    // Stores where this process starts writing a duplicate log, beside the stored position
    // (only for a saved source). m_lock held.
    void recordDuplicateStart(const DuplicateExtent& start);
    // Starts or stops the reader so that it runs exactly while listeners are attached.
    void reconcile();
    void startReader();  // m_runLock held; the previous reader has been joined
    void stopReader();   // m_runLock held, m_lock not held
    void readerThread();
    void resetLocked();
    void writeLastPos();

    ConfigStore& m_store;
    EventSink& m_events;

    // Lock rules.
    // m_lock guards the definition, the listener list, the position, the compiled expression,
    // the duplicate queue and the input counters below. It is recursive: a listener called
    // under it may call back into the source (detach itself, read the definition). Order:
    // the source manager's lock, then this lock, then a listener's (a diagram's) lock; a
    // caller holding a diagram's lock never takes this one. Delivery to listeners holds it.
    // m_runLock (below) serialises starting and stopping the reader. It is never held together
    // with m_lock (so attach, detach and restart are not called with this source's lock held),
    // and the reader thread never takes it, so stopping can always join the reader.
    // The reader thread reaches the source through SourceFeed only, and takes m_lock only for
    // short steps (a position update, a changed expression), never while blocked on its
    // transport nor for each chunk; its delivery thread takes it for the delivery of up to 64
    // lines at a time, and once at the end of each batch (deliveryEnded); so does the reader
    // itself while it delivers (when delivering is cheap), its delivery thread settled. The
    // reader waits for its delivery thread (settleDelivery) only without m_lock, and the
    // delivery thread never waits for the reader, so neither can block the other while holding
    // the lock. Without any lock it touches the reader-only members at the end, which a stopped
    // source's caller may also touch once the reader has been joined.
    mutable std::recursive_mutex m_lock;
    // Guarded by m_lock:
    std::vector<RecordListener*> m_listeners;  // not owned
    SourceDefinition m_definition;
    ReadPosition m_position;
    // Replaced whole by setRegexp, so a reader holding the previous one is undisturbed.
    std::shared_ptr<const RegExp> m_pattern;
    // Counts changes of the expression and of the duplicate log's path (written under m_lock),
    // so the reader takes the lock for them only when they changed.
    std::atomic<std::uint64_t> m_parseSettingsVersion{1};
    RegExpOptions m_regexpOptions;
    // Duplicate lines not yet in the log (written at the end of each chunk), and the log the
    // reader last wrote to in this process.
    std::string m_duplicateQueue;
    // Its size after the last write, for the reader's check without the lock.
    std::atomic<std::size_t> m_duplicateQueued{0};
    std::optional<FileIdentity> m_duplicateFile;
    // Where the reader's input started, and how much of it has been parsed since.
    std::optional<ReadPosition> m_inputBase;  // its check: the latest sample of this input
    std::uint64_t m_inputParsed = 0;

    // Read for every line by both threads of a reader: on a cache line of its own, away from
    // what a delivery writes.
    alignas(64) std::atomic<bool> m_stopping{false};
    WakeEvent m_wake;
    std::chrono::milliseconds m_retryPause{1000};

    // Serialises starting and stopping the reader (attach, detach, restart, destruction); see
    // the lock rules above.
    std::mutex m_runLock;
    std::thread m_reader;  // guarded by m_runLock
    // Atomics: read without any lock by any thread.
    std::atomic<std::thread::id> m_readerId{};
    std::atomic<std::thread::id> m_deliveryId{};  // the reader's delivery thread
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_held{false};
    std::atomic<std::size_t> m_listenerCount{0};  // m_listeners.size(), readable without m_lock
    alignas(64) std::atomic<std::uint64_t> m_linesRead{0};  // the reader's, once per chunk
    std::atomic<std::uint64_t> m_bytesRead{0};
    std::atomic<std::uint64_t> m_errorRecords{0};
    alignas(64) std::atomic<std::int64_t> m_lastRecordTime{0};  // the delivery's

    // Reader thread only:
    alignas(64) std::string m_pending;  // received bytes after the last complete line
    std::uint64_t m_inputFed = 0;      // bytes passed to parseChunk since the input base
    std::uint64_t m_pendingStart = 0;  // where m_pending starts, counted the same way
    // While the reader runs, its delivery thread; null when parseChunk is called without one.
    DeliveryThread* m_delivery = nullptr;
    // The lines of a chunk the reader delivers itself: without a delivery thread, or while
    // delivering is cheap enough for the reader to do it (m_pace).
    ParseBatch m_directBatch;
    DeliveryPace m_pace;
    // The expression and whether records are duplicated, as of m_parseSettingsVersion's value
    // m_parseSettingsSeen.
    std::shared_ptr<const RegExp> m_readerPattern;
    bool m_readerDuplicating = false;
    // Of every DeliveryThread::kShareLines lines split now, how many are left to the delivery
    // thread, and the lines counted for that.
    unsigned m_deferring = 0;
    unsigned m_lineTurn = 0;
    std::uint64_t m_parseSettingsSeen = 0;
    // Delivery's side (the delivery thread, or the reader when none): touched by the other
    // side only after settleDelivery.
    bool m_duplicateFailing = false;   // a failed duplicate write was reported
};

}  // namespace tg
