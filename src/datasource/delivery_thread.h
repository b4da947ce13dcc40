#pragma once
// The second stage of a reader: while the reader thread cuts and splits what it reads, this
// thread delivers the records split before. Two batches take turns: the reader adds the lines
// of each chunk to one while the other is delivered; when a delivery ends, the thread takes
// the lines added meanwhile at once (without sleeping when there are some), and a reader that
// finds it idle hands its lines over once enough wait or before the reader waits itself. So records arrive in the order of their lines, and the
// two threads only wake each other when one of them has run out of work.
//
// The reader thread owns the object and is the only one to call its members. A stop (the
// `stopping` predicate) ends a delivery before its next line; the lines left stay in their
// batches for the reader to take back after drain. The destructor lets the delivery in flight
// end and joins the thread. An exception thrown by `deliver` ends nothing: it is thrown again
// on the reader thread by the next add or drain.

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "datasource/record.h"

namespace tg {

// One line as the reader split it.
struct ParsedLine {
    bool matched = false;
    Record values;     // the groups' texts, when matched
    std::string text;  // the line, when not matched
    std::size_t from = 0;  // where its part of ParseBatch::raw starts (line ends before it too)
    std::uint64_t parsedEnd = 0;  // the input counted up to the end of this line
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
    // The bytes of the chunks up to the end of their last line, and where they start in the
    // input: the lines a stop left undelivered are put back from them.
    std::string raw;
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
    }
};

class DeliveryThread {
public:
    DeliveryThread(std::function<void(ParseBatch&)> deliver, std::function<bool()> stopping);
    ~DeliveryThread();
    DeliveryThread(const DeliveryThread&) = delete;
    DeliveryThread& operator=(const DeliveryThread&) = delete;

    // Calls `fill` with the batch the reader adds to, then hands it over when the delivery
    // thread is idle and enough lines wait. Waits first while that batch is large and a
    // delivery is in flight.
    void add(const std::function<void(ParseBatch&)>& fill);
    // Hands what was added over to an idle delivery thread: the reader calls it before it
    // waits for input, so no line waits with it.
    void flush();
    // Waits until nothing is being delivered: every line added has been delivered, or a stop
    // left the rest in the batches. A no-op on the delivering thread (a listener's call that
    // reaches the reader's side).
    void drain();
    std::thread::id id() const { return m_thread.get_id(); }
    // After drain: the batch added to last, and the one before it.
    ParseBatch& newest() { return m_filling; }
    ParseBatch& older() { return m_delivering; }

private:
    void run();
    void rethrowFailure();  // m_mutex held
    void handOver();        // m_mutex held

    std::function<void(ParseBatch&)> m_deliver;
    std::function<bool()> m_stopping;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    // Guarded by m_mutex, except m_delivering while m_inFlight (the delivery thread's then):
    ParseBatch m_filling;
    ParseBatch m_delivering;
    bool m_inFlight = false;
    bool m_quit = false;
    std::exception_ptr m_failure;

    std::thread m_thread;  // last: starts once everything above exists
};

}  // namespace tg
