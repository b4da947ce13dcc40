// tail_bench: how many lines per second does a FILE source take from a log file, end to end
// (reader thread, file reads, parsing, delivery)?
//
//   tail_bench [--regexp RE] FILE
//
// Counts FILE's lines first (which also brings it into the page cache), then defines a FILE
// source on it in a fresh temporary store, so the reader starts from offset 0, with a
// nine-group expression for Apache combined logs. Times from attaching a counting listener,
// which starts the source's reader thread, until the record of the file's last line has been
// delivered. Prints the machine and build beside the figures. Exit status 1 when the records
// did not all arrive within ten minutes or their number differs from the file's lines, 2 on
// bad usage or input.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "bench_support.h"
#include "config/config_store.h"
#include "datasource/data_source.h"
#include "regex/reg_exp.h"
#include "datasource/source_type.h"

namespace {

using namespace tg::bench;

// Far beyond any run on a sane machine; only a source that lost records gets there.
constexpr std::chrono::seconds kWaitBound{600};

void printRecords(const CountingListener& listener, const CountingEvents& events) {
    std::printf(
        "records:        %llu delivered, %llu error records, %llu event log lines "
        "(%llu value bytes)\n",
        static_cast<unsigned long long>(listener.processed()),
        static_cast<unsigned long long>(listener.errors()),
        static_cast<unsigned long long>(events.lines()),
        static_cast<unsigned long long>(listener.valueBytes()));
}

}  // namespace

int main(int argc, char** argv) {
    LogOptions options;
    if (!parseLogOptions(argc, argv, options)) {
        std::fputs("usage: tail_bench [--regexp RE] [--engine auto|glibc] FILE\n", stderr);
        return 2;
    }
    tg::RegExp check;
    if (check.compile(options.regexp) != 0) {
        std::fprintf(stderr, "tail_bench: the expression does not compile: %s\n",
                     options.regexp.c_str());
        return 2;
    }
    const std::filesystem::path path = regularFile(options.file);
    const std::optional<FileLines> counted =
        path.empty() ? std::nullopt : countFileLines(path.string());
    if (!counted) {
        std::fprintf(stderr, "tail_bench: cannot read %s (a regular file is needed)\n",
                     options.file.c_str());
        return 2;
    }
    // Only complete lines count: the reader keeps a final line without line end pending.
    const std::uint64_t lines = counted->lines.complete();
    if (lines == 0) {
        std::fprintf(stderr, "tail_bench: %s has no complete line\n", options.file.c_str());
        return 2;
    }

    TempDir folder("tg-tail-bench");
    if (folder.path().empty()) {
        std::perror("tail_bench: mkdtemp");
        return 2;
    }
    tg::ConfigStore store(folder.path() / "store.db");
    if (!store.isOpen()) {
        std::fprintf(stderr, "tail_bench: cannot open a store: %s\n", store.error().c_str());
        return 2;
    }
    CountingEvents events;
    tg::DataSource source("bench", store, events);
    (void)source.setType(tg::SourceType::File);
    (void)source.setConnect(path.string());
    source.setRegExpOptions(options.engine);
    (void)source.setRegexp(options.regexp);
    source.setFields(fieldNamesFor(check.groupCount()));
    CountingListener listener;
    listener.expect(lines);

    printMachine();
    const double megabytes = static_cast<double>(counted->bytes) / 1e6;
    std::printf("input:          %s, %.1f MB (%llu bytes), %llu lines (%.0f bytes/line)%s\n",
                path.c_str(), megabytes, static_cast<unsigned long long>(counted->bytes),
                static_cast<unsigned long long>(lines),
                static_cast<double>(counted->bytes) / static_cast<double>(lines),
                counted->lines.lastLineOpen() ? "; last line open, not counted" : "");
    std::printf("expression:     %s (groups: %zu)\n", options.regexp.c_str(), check.groupCount());
    std::fflush(stdout);

    const auto start = CountingListener::Clock::now();
    source.attach(listener);  // starts the reader thread, which reads the file from offset 0
    const auto lastRecord = listener.waitForObserved(kWaitBound);
    source.detach(listener);  // joins the reader: the counts are final from here

    if (!lastRecord) {
        std::printf("FAILED:         %llu of %llu records observed after %lld s\n",
                    static_cast<unsigned long long>(listener.observed()),
                    static_cast<unsigned long long>(lines),
                    static_cast<long long>(kWaitBound.count()));
        printRecords(listener, events);
        return 1;
    }
    const double seconds = std::chrono::duration<double>(*lastRecord - start).count();
    std::printf("tail:           %.3f s  %12.0f lines/s  %8.1f MB/s\n", seconds,
                static_cast<double>(lines) / seconds, megabytes / seconds);
    printRecords(listener, events);
    if (listener.errors() != 0) std::printf("WARNING:        some lines did not give a record\n");
    if (listener.observed() != lines) {
        std::printf("FAILED:         %llu records observed for %llu lines\n",
                    static_cast<unsigned long long>(listener.observed()),
                    static_cast<unsigned long long>(lines));
        return 1;
    }
    return 0;
}
