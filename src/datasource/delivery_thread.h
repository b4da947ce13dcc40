#pragma once
// The second stage of a reader: while the reader thread cuts and splits what it reads, this
// thread delivers the records split before. Three batches take turns: the reader adds the
// lines of each chunk to its own batch without any lock; once enough lines wait it hands them
// over, straight to an idle delivery thread, else to the ready batch, which a busy delivery
// thread takes when it ends the batch in hand (without sleeping). So records arrive in the
// order of their lines, the reader never holds a lock while it splits, and the two threads
// only wake each other when one of them has run out of work. Splitting is shared: the reader
// leaves some lines unsplit for this thread (deferredShare), as many as keep both busy.
//
// The reader thread owns the object and is the only one to call its members. A stop (the
// `stopping` predicate) ends a delivery before its next line; the lines left stay in their
// batches for the reader to take back after drain. The destructor lets the delivery in flight
// end and joins the thread. An exception thrown by `deliver` ends nothing: it is thrown again
// on the reader thread by the next add, flush or drain.

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "datasource/record.h"
#include "regex/reg_exp.h"

namespace tg {

// One line as the reader split it.
struct ParsedLine {
    bool matched = false;
    // Cut but not split yet: the delivery thread splits it with the batch's `pattern`.
    bool deferred = false;
    // When matched, where the groups' texts lie in the line; `values` views them once
    // valuesIn has been called (with the line where it lies then).
    std::vector<RegExp::Piece> pieces;
    std::vector<std::string_view> values;
    std::string text;  // the line, when not matched
    // Its line for the duplicate log, made when split if records were being duplicated then.
    bool duplicated = false;
    std::string duplicate;
    // Where its part of the batch's bytes starts (line ends before it too), and where the line
    // itself lies in them.
    std::size_t from = 0;
    std::size_t lineAt = 0;
    std::size_t lineSize = 0;
    std::uint64_t parsedEnd = 0;  // the input counted up to the end of this line

    // The values of a matched line, as views into `line`.
    RecordView valuesIn(std::string_view line) {
        values.resize(pieces.size());
        for (std::size_t i = 0; i < pieces.size(); ++i)
            values[i] = line.substr(pieces[i].start, pieces[i].size);
        return values;
    }
};

// Lines of one or more consecutive chunks. Its strings keep their room from one use to the
// next.
struct ParseBatch {
    std::vector<ParsedLine> lines;
    std::size_t count = 0;      // lines[0..count) belong to the batch
    std::size_t delivered = 0;  // lines[0..delivered) have been delivered (a stop ends early)
    bool used = false;          // a chunk was added since the last reset
    // The input counted as parsed once the batch is delivered (line ends after the last line
    // included).
    std::uint64_t parsedEnd = 0;
    char separator = '\t';  // of the duplicate log
    std::shared_ptr<const RegExp> pattern;  // of its deferred lines
    std::uint64_t splitNanos = 0;  // spent splitting them
    // The batch's bytes: those of its chunks up to the end of their last line, and where they
    // start in the input; the lines a stop left undelivered are put back from them. They are
    // `raw` followed by `chunkBytes`, a view of the chunk being parsed, which only a batch the
    // reader delivers before parseChunk returns uses: it spares copying the chunk.
    std::string raw;
    std::string_view chunkBytes;
    std::uint64_t rawStart = 0;

    // The next line to fill, its strings ready to be reused.
    ParsedLine& add() {
        if (count == lines.size()) lines.emplace_back();
        return lines[count++];
    }
    void reset() {
        count = 0;
        delivered = 0;
        used = false;
        parsedEnd = 0;
        raw.clear();
        chunkBytes = {};
        pattern.reset();
        splitNanos = 0;
    }
    std::size_t bytesSize() const { return raw.size() + chunkBytes.size(); }
    // Bytes [at, at + size), which lie either in `raw` or in `chunkBytes`, as a line does.
    std::string_view bytesAt(std::size_t at, std::size_t size) const {
        if (at < raw.size()) return std::string_view(raw).substr(at, size);
        return chunkBytes.substr(at - raw.size(), size);
    }
    // A matched line's values, as views into the batch's bytes: valid until the batch is
    // reset or more bytes are appended.
    RecordView valuesOf(ParsedLine& line) const {
        return line.valuesIn(bytesAt(line.lineAt, line.lineSize));
    }
    void appendBytes(std::string_view bytes) {
        if (!chunkBytes.empty()) {
            raw.append(chunkBytes);
            chunkBytes = {};
        }
        raw.append(bytes);
    }
};

class DeliveryThread {
public:
    DeliveryThread(std::function<void(ParseBatch&)> deliver, std::function<bool()> stopping);
    ~DeliveryThread();
    DeliveryThread(const DeliveryThread&) = delete;
    DeliveryThread& operator=(const DeliveryThread&) = delete;

    // Calls `fill` with the batch the reader adds to, then hands it over once enough lines
    // wait; waits while that batch is large and cannot be handed over yet.
    template <class Fill>
    void add(Fill&& fill) {
        fill(m_filling);
        m_filling.used = true;
        if (m_filling.count >= kWakeLines) handOverAdded();
    }
    // Hands what was added over: the reader calls it before it waits for input, so no line
    // waits with it.
    void flush();
    // Waits until nothing is being delivered: every line added has been delivered, or a stop
    // left the rest in the batches. A no-op on the delivering thread (a listener's call that
    // reaches the reader's side).
    void drain();
    std::thread::id id() const { return m_thread.get_id(); }
    // Time spent delivering, of it splitting lines the reader left, and lines delivered so
    // far, counted as each batch ends; any thread.
    std::uint64_t busyNanos() const { return m_busyNanos.load(std::memory_order_relaxed); }
    std::uint64_t splitNanos() const { return m_splitNanos.load(std::memory_order_relaxed); }
    std::uint64_t linesDelivered() const {
        return m_linesDelivered.load(std::memory_order_relaxed);
    }
    // How many of every kShareLines lines the reader leaves for this thread to split: more
    // while it waits for lines when they are handed over, fewer while the reader waits for
    // it. Two threads then split about as much as keeps both busy.
    unsigned deferredShare() const { return m_deferredShare; }
    static constexpr unsigned kShareLines = 16;
    static constexpr unsigned kMaxShare = 12;

    // After drain, newest first: the batch added to last, the one waiting, the one delivered.
    std::array<ParseBatch*, 3> batchesNewestFirst() {
        return {&m_filling, &m_ready, &m_delivering};
    }

    // An idle delivery thread is woken once this many lines wait (or the reader is about to
    // wait or settle): waking it for every chunk costs more than a cheap delivery.
    static constexpr std::size_t kWakeLines = 512;
    // A reader that has split this many lines ahead of the delivery waits for it.
    static constexpr std::size_t kMaxWaitingLines = 1024;

private:
    void run();
    void handOverAdded();
    // Hands the lines added over; with `wait`, waits until it could (or a stop ended the
    // delivery). Rethrows a failure of the delivery.
    void handOverAndWait(std::unique_lock<std::mutex>& lock, bool wait);
    void rethrowFailure();  // m_mutex held
    void handOver();        // m_mutex held
    void startReady();      // m_mutex held: an idle thread takes the ready batch

    std::function<void(ParseBatch&)> m_deliver;
    std::function<bool()> m_stopping;
    unsigned m_deferredShare = 0;  // the reader's

    // Each thread's batch on cache lines of its own: both change them for every line.
    alignas(64) ParseBatch m_filling;  // the reader's only

    std::mutex m_mutex;
    std::condition_variable m_changed;
    // Guarded by m_mutex, except m_delivering while m_inFlight (the delivery thread's then):
    alignas(64) ParseBatch m_ready;
    alignas(64) ParseBatch m_delivering;
    bool m_inFlight = false;
    bool m_quit = false;
    std::exception_ptr m_failure;
    // The delivery thread's, once per batch.
    alignas(64) std::atomic<std::uint64_t> m_busyNanos{0};
    std::atomic<std::uint64_t> m_splitNanos{0};
    std::atomic<std::uint64_t> m_linesDelivered{0};

    std::thread m_thread;  // last: starts once everything above exists
};

}  // namespace tg
