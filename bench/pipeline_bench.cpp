// pipeline_bench: how many lines per second go through the whole pipeline (a FILE source's
// reader thread, parsing, and two diagrams aggregating every record)?
//
//   pipeline_bench [--regexp RE] [--engine auto|glibc] FILE
//
// `--engine glibc` matches every expression of the run (source, groups, axes) with glibc's
// regexec instead of the compiled engine, to measure what the compiled engine gains.
//
// Counts FILE's lines first (which also brings it into the page cache). In a fresh temporary
// store, defines a FILE source with a nine-group expression for Apache combined logs whose
// connect string names a path in a private folder where nothing exists yet, and two diagrams
// on it: requests (COUNT) and bytes (SUM) grouped by status, and requests (COUNT) grouped by
// client address. Both diagrams and a counting listener attach first, so the reader is
// already waiting on the empty folder; the clock starts when a symbolic link to FILE appears
// at that path and stops once the record of the file's last line has been through every
// listener. Then checks that each diagram's COUNT series adds up to the records delivered,
// and prints the machine and build, lines/s, MB/s, the peak resident memory, the five
// busiest statuses with their counts and byte sums, every status on one line, and the number
// of distinct client addresses.
//
// Exit status 1 when the records did not all arrive within ten minutes, their number differs
// from the file's lines, or the diagrams' totals disagree with it; 2 on bad usage or input.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bench_support.h"
#include "config/config_store.h"
#include "regex/reg_exp.h"
#include "datasource/source_handle.h"
#include "datasource/source_manager.h"
#include "datasource/source_type.h"
#include "diagram/axis_oper.h"
#include "diagram/chart_data.h"
#include "diagram/diagram.h"

namespace {

using namespace tg::bench;

// Far beyond any run on a sane machine; only a pipeline that lost records gets there.
constexpr std::chrono::seconds kWaitBound{600};
constexpr std::size_t kCombinedGroups = 9;
constexpr std::size_t kTopStatuses = 5;
constexpr const char* kSourceName = "web";

// The process's peak resident memory (VmHWM) in kB; 0 when /proc does not say.
unsigned long peakResidentKb() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::strtoul(line.c_str() + 6, nullptr, 10);
    }
    return 0;
}

// The numbers a diagram gives out as text.
double number(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

double seriesTotal(const std::vector<std::string>& series) {
    double total = 0;
    for (const std::string& value : series) total += number(value);
    return total;
}

// An x label without the separator the diagram may put before each group's value.
std::string_view labelText(std::string_view label) {
    while (!label.empty() && label.front() == '/') label.remove_prefix(1);
    return label;
}

// The source, its file not there yet: the reader waits for it to appear.
bool defineSource(tg::SourceManager& sources, const std::string& connect,
                  const std::string& regexp) {
    if (sources.create(kSourceName) != 0) return false;
    tg::SourceHandle source = sources.acquire(kSourceName);
    if (!source) return false;
    (void)source->setType(tg::SourceType::File);
    (void)source->setConnect(connect);
    (void)source->setRegexp(regexp);
    source->setFields(fieldNamesFor(kCombinedGroups));
    source->save();
    return true;
}

// Requests and bytes by status.
void defineByStatus(tg::Diagram& diagram) {
    (void)diagram.setGroup("status", "status", "([0-9]+)");
    (void)diagram.setAxis("requests", "status", "(.*)", tg::AxisOper::Count);
    (void)diagram.setAxis("bytes", "bytes", "([0-9]+)", tg::AxisOper::Sum);
}

// Requests by client address: one x label per address.
void defineByClient(tg::Diagram& diagram) {
    (void)diagram.setGroup("host", "host", "(.*)");
    (void)diagram.setAxis("requests", "host", "(.*)", tg::AxisOper::Count);
}

struct StatusRow {
    std::string status;
    double requests = 0;
    double bytes = 0;
};

std::vector<StatusRow> statusRows(const tg::ChartData& chart) {
    std::vector<StatusRow> rows;
    for (std::size_t x = 0; x < chart.xLabels.size(); ++x) {
        StatusRow row{std::string(labelText(chart.xLabels[x]))};
        if (chart.series.size() > 0 && x < chart.series[0].size())
            row.requests = number(chart.series[0][x]);
        if (chart.series.size() > 1 && x < chart.series[1].size())
            row.bytes = number(chart.series[1][x]);
        rows.push_back(std::move(row));
    }
    std::stable_sort(rows.begin(), rows.end(), [](const StatusRow& a, const StatusRow& b) {
        return a.requests > b.requests;
    });
    return rows;
}

void printStatuses(const std::vector<StatusRow>& rows) {
    std::printf("top statuses:   %-8s %12s %18s\n", "status", "requests", "bytes");
    for (std::size_t i = 0; i < rows.size() && i < kTopStatuses; ++i) {
        std::printf("                %-8s %12.0f %18.0f\n", rows[i].status.c_str(),
                    rows[i].requests, rows[i].bytes);
    }
    // Every status, for comparing with other tools: status=requests/bytes.
    std::printf("all statuses:  ");
    for (const StatusRow& row : rows)
        std::printf(" %s=%.0f/%.0f", row.status.c_str(), row.requests, row.bytes);
    std::printf("\n");
}

// Prints what the diagrams hold; false when a COUNT series does not add up to `records`.
bool reportDiagrams(const tg::Diagram& byStatus, const tg::Diagram& byClient,
                    std::uint64_t records) {
    const tg::ChartData statuses = byStatus.chartData();
    const tg::ChartData clients = byClient.chartData();
    const double statusTotal = statuses.series.empty() ? 0 : seriesTotal(statuses.series[0]);
    const double clientTotal = clients.series.empty() ? 0 : seriesTotal(clients.series[0]);
    printStatuses(statusRows(statuses));
    std::printf("clients:        %zu distinct addresses\n", clients.xLabels.size());
    std::printf("totals:         %.0f requests by status, %.0f by client, %llu records\n",
                statusTotal, clientTotal, static_cast<unsigned long long>(records));
    const auto expected = static_cast<double>(records);
    if (statusTotal == expected && clientTotal == expected) return true;
    std::printf("FAILED:         the diagrams' request counts differ from the records\n");
    return false;
}

void printRecords(const CountingListener& listener, const CountingEvents& events) {
    std::printf("records:        %llu delivered, %llu error records, %llu event log lines\n",
                static_cast<unsigned long long>(listener.processed()),
                static_cast<unsigned long long>(listener.errors()),
                static_cast<unsigned long long>(events.lines()));
}

// The checks that need no store: usage, expression, file. The file's line count, or nullopt
// after printing why not.
std::optional<FileLines> checkInput(const LogOptions& options, std::filesystem::path& path) {
    tg::RegExp check;
    if (check.compile(options.regexp) != 0 || check.groupCount() != kCombinedGroups) {
        std::fprintf(stderr,
                     "pipeline_bench: the expression must compile and have %zu groups "
                     "(host ident user time request status bytes referer agent): %s\n",
                     kCombinedGroups, options.regexp.c_str());
        return std::nullopt;
    }
    path = regularFile(options.file);
    std::optional<FileLines> counted = path.empty() ? std::nullopt : countFileLines(path.string());
    if (!counted) {
        std::fprintf(stderr, "pipeline_bench: cannot read %s (a regular file is needed)\n",
                     options.file.c_str());
        return std::nullopt;
    }
    if (counted->lines.complete() == 0) {
        std::fprintf(stderr, "pipeline_bench: %s has no complete line\n", options.file.c_str());
        return std::nullopt;
    }
    return counted;
}

void printInput(const std::filesystem::path& path, const FileLines& counted,
                const std::string& regexp, tg::RegExpOptions engine) {
    const std::uint64_t lines = counted.lines.complete();
    std::printf("input:          %s, %.1f MB (%llu bytes), %llu lines (%.0f bytes/line)%s\n",
                path.c_str(), static_cast<double>(counted.bytes) / 1e6,
                static_cast<unsigned long long>(counted.bytes),
                static_cast<unsigned long long>(lines),
                static_cast<double>(counted.bytes) / static_cast<double>(lines),
                counted.lines.lastLineOpen() ? "; last line open, not counted" : "");
    std::printf("expression:     %s\n", regexp.c_str());
    tg::RegExp compiled;
    (void)compiled.compile(regexp, engine);
    std::printf("engine:         %s\n",
                compiled.usesCompiledEngine()
                    ? "PCRE2 JIT"
                    : ("glibc (" + compiled.slowPathReason() + ")").c_str());
    std::printf(
        "diagrams:       requests COUNT and bytes SUM by status; requests COUNT by "
        "client address\n");
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    LogOptions options;
    if (!parseLogOptions(argc, argv, options)) {
        std::fputs("usage: pipeline_bench [--regexp RE] [--engine auto|glibc] FILE\n", stderr);
        return 2;
    }
    std::filesystem::path path;
    const std::optional<FileLines> counted = checkInput(options, path);
    if (!counted) return 2;
    // Only complete lines count: the reader keeps a final line without line end pending.
    const std::uint64_t lines = counted->lines.complete();

    TempDir folder("tg-pipeline-bench");
    if (folder.path().empty()) {
        std::perror("pipeline_bench: mkdtemp");
        return 2;
    }
    const std::filesystem::path logPath = folder.path() / "access.log";
    tg::ConfigStore store(folder.path() / "store.db");
    if (!store.isOpen()) {
        std::fprintf(stderr, "pipeline_bench: cannot open a store: %s\n", store.error().c_str());
        return 2;
    }
    // Declared in this order so that the diagrams detach and end before the counter and
    // the sources they listen to.
    CountingEvents events;
    CountingListener counter;
    counter.expect(lines);
    tg::SourceManager sources(store, events);
    if (!defineSource(sources, logPath.string(), options.regexp)) {
        std::fputs("pipeline_bench: cannot define the source\n", stderr);
        return 2;
    }
    tg::SourceHandle source = sources.acquire(kSourceName);
    tg::Diagram byStatus("by-status", store, sources);
    tg::Diagram byClient("by-client", store, sources);
    source->setRegExpOptions(options.engine);
    byStatus.setRegExpOptions(options.engine);
    byClient.setRegExpOptions(options.engine);
    // Items first: defining one clears the data, and the data source starts the diagram.
    defineByStatus(byStatus);
    defineByClient(byClient);
    if (byStatus.setDataSource(kSourceName) != 0 || byClient.setDataSource(kSourceName) != 0 ||
        !byStatus.isRunning() || !byClient.isRunning()) {
        std::fputs("pipeline_bench: the diagrams did not start on the source\n", stderr);
        return 2;
    }
    // Last, so its count is reached only when the diagrams have seen every record too.
    source->attach(counter);

    printMachine();
    printInput(path, *counted, options.regexp, options.engine);

    // The reader is waiting on the folder: the link makes the log appear at once, whole.
    const auto start = CountingListener::Clock::now();
    if (::symlink(path.c_str(), logPath.c_str()) != 0) {
        std::perror("pipeline_bench: symlink");
        source->detach(counter);
        return 2;
    }
    const bool arrived = counter.waitForObserved(kWaitBound).has_value();
    // Observers hear of a record before the diagrams process it, all under the source's
    // lock: once that lock is free, the last record has been through every listener.
    { const auto delivered = source->holdDelivery(); }
    const auto end = CountingListener::Clock::now();
    source->detach(counter);
    (void)byStatus.stop();  // joins the reader: the data is final from here
    (void)byClient.stop();

    if (!arrived) {
        std::printf("FAILED:         %llu of %llu records observed after %lld s\n",
                    static_cast<unsigned long long>(counter.observed()),
                    static_cast<unsigned long long>(lines),
                    static_cast<long long>(kWaitBound.count()));
        printRecords(counter, events);
        return 1;
    }
    const double seconds = std::chrono::duration<double>(end - start).count();
    const double megabytes = static_cast<double>(counted->bytes) / 1e6;
    std::printf("pipeline:       %.3f s  %12.0f lines/s  %8.1f MB/s\n", seconds,
                static_cast<double>(lines) / seconds, megabytes / seconds);
    std::printf("peak memory:    %.1f MB resident (VmHWM)\n",
                static_cast<double>(peakResidentKb()) / 1024.0);
    printRecords(counter, events);
    bool ok = reportDiagrams(byStatus, byClient, counter.processed());
    if (counter.errors() != 0) std::printf("WARNING:        some lines did not give a record\n");
    if (counter.observed() != lines) {
        std::printf("FAILED:         %llu records observed for %llu lines\n",
                    static_cast<unsigned long long>(counter.observed()),
                    static_cast<unsigned long long>(lines));
        ok = false;
    }
    return ok ? 0 : 1;
}
