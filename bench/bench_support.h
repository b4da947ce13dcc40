#pragma once
// What the benchmarks that drive a DataSource share: the combined-log expression and its
// field names, the machine and build line printed beside every figure, a private temporary
// folder for the store, counting lines the way the source cuts them, and a listener and an
// event sink that only count.
//
// Threads: CountingListener and CountingEvents are called by whichever thread delivers (the
// caller of parseChunk, or the source's reader thread) while any other thread reads their
// counts or waits on them. Everything else is for the main thread.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "datasource/record.h"
#include "datasource/record_listener.h"
#include "platform/event_sink.h"
#include "regex/reg_exp.h"

namespace tg::bench {

// host ident user [time] "request" status bytes "referer" "user agent"
inline constexpr const char* kCombinedLog =
    R"re(^([^ ]+) ([^ ]+) ([^ ]+) \[([^]]+)\] "([^"]*)" ([0-9]+) ([0-9]+|-) "([^"]*)" "([^"]*)")re";

// The combined-log names for nine groups, else "field1".."fieldN".
FieldNames fieldNamesFor(std::size_t groups);

// "machine: CPU, N cores, Linux R" and "build: TYPE (FLAGS), COMPILER".
void printMachine();

// The absolute path of a regular file (links followed), or the empty path.
std::filesystem::path regularFile(const std::string& name);

// A private folder under /tmp, removed with everything in it. path() is empty when it could
// not be made.
class TempDir {
public:
    // `prefix` names the folder: /tmp/PREFIX-XXXXXX.
    explicit TempDir(std::string_view prefix);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// Counts lines as the source cuts them, over data given in pieces of any size: CR and LF both
// end a line and empty lines vanish. A last line without line end is not complete: the
// source keeps it pending and delivers nothing for it.
class LineCounter {
public:
    void add(std::string_view data);
    std::uint64_t complete() const { return m_complete; }
    bool lastLineOpen() const { return m_inLine; }

private:
    std::uint64_t m_complete = 0;
    bool m_inLine = false;
};

// Counts the lines of the file at `path` and its size in bytes; nullopt when it cannot be
// read to its end.
struct FileLines {
    LineCounter lines;
    std::uint64_t bytes = 0;
};
std::optional<FileLines> countFileLines(const std::string& path);

// Counts records. Deliveries come from one thread at a time (the source delivers under its
// lock), so the counters have a single writer and need no read-modify-write; readers on other
// threads see them through the atomics.
class CountingListener : public RecordListener {
public:
    using Clock = std::chrono::steady_clock;

    void processRecord(const Record& record, const FieldNames& names) override {
        processDelivered(RecordViews(record), names);
    }
    void processDelivered(RecordView record, const FieldNames&) override;
    void observeRecord(const Record&, const FieldNames&) override { observe(); }
    void observeDelivered(RecordView, const FieldNames&) override { observe(); }
    void reset() override {}

    // Set before the records start to arrive: the observed count that waitForObserved waits
    // for.
    void expect(std::uint64_t observed) { m_expected.store(observed); }
    // Until `expect`'s count has been observed or `bound` has passed. The time the record
    // that reached it was observed, or nullopt on time-out.
    std::optional<Clock::time_point> waitForObserved(std::chrono::seconds bound);

    std::uint64_t processed() const { return m_processed.load(std::memory_order_relaxed); }
    std::uint64_t observed() const { return m_observed.load(std::memory_order_relaxed); }
    // Observed but never processed: lines that did not match or gave another value count.
    std::uint64_t errors() const { return observed() - processed(); }
    std::uint64_t valueBytes() const { return m_valueBytes.load(std::memory_order_relaxed); }

private:
    void observe();

    std::atomic<std::uint64_t> m_processed{0};
    std::atomic<std::uint64_t> m_observed{0};
    std::atomic<std::uint64_t> m_valueBytes{0};
    std::atomic<std::uint64_t> m_expected{0};

    std::mutex m_mutex;
    std::condition_variable m_reached;
    bool m_done = false;            // guarded by m_mutex
    Clock::time_point m_reachedAt;  // guarded by m_mutex
};

// Counts event log lines (one per bad line).
class CountingEvents : public EventSink {
public:
    void writeLog(std::string_view, std::string_view) override {
        m_lines.fetch_add(1, std::memory_order_relaxed);
    }
    std::uint64_t lines() const { return m_lines.load(std::memory_order_relaxed); }

private:
    std::atomic<std::uint64_t> m_lines{0};
};

// The words of a benchmark that reads one log: `[--regexp RE] [--engine auto|glibc] FILE`.
// `--engine glibc` keeps every expression of the run with glibc's regexec (see RegExp): the
// benchmark hands `engine` to everything that compiles one.
struct LogOptions {
    std::string file;
    std::string regexp = kCombinedLog;
    tg::RegExpOptions engine;
};
// False on any other word or when FILE is missing.
bool parseLogOptions(int argc, char** argv, LogOptions& options);

}  // namespace tg::bench
