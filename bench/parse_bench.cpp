// parse_bench: how many lines per second does record parsing take?
//
//   parse_bench [--regexp RE] [--repeat N] FILE
//
// Reads FILE into memory (so disk reads are not measured), then times feeding it to
// DataSource::parseChunk in chunks of 8191 bytes, as the readers do, with a nine-group
// expression for Apache combined logs and a listener that counts what it receives. Prints
// the machine and build beside the figures. Exit status 1 when the source produced a
// different number of records than the file has lines, 2 on bad usage or input.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "bench_support.h"
#include "config/config_store.h"
#include "datasource/data_source.h"
#include "datasource/source_feed.h"
#include "regex/reg_exp.h"

namespace {

using namespace tg::bench;

constexpr std::size_t kChunkSize = 8191;  // what the file and socket readers pass at a time

struct Options {
    std::string file;
    std::string regexp = kCombinedLog;
    unsigned repeat = 1;
};

bool parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--regexp" && i + 1 < argc) {
            options.regexp = argv[++i];
        } else if (arg == "--repeat" && i + 1 < argc) {
            char* end = nullptr;
            const unsigned long value = std::strtoul(argv[++i], &end, 10);
            if (*end != '\0' || value == 0 || value > 1000) return false;
            options.repeat = static_cast<unsigned>(value);
        } else if (!arg.empty() && arg[0] != '-' && options.file.empty()) {
            options.file = argv[i];
        } else {
            return false;
        }
    }
    return !options.file.empty();
}

bool readFile(const std::string& path, std::string& data) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) return false;
    data = std::move(buffer).str();
    return true;
}

// Feeds the whole file once; returns the seconds taken.
double timeOnePass(tg::DataSource& source, std::string_view data) {
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t at = 0; at < data.size(); at += kChunkSize) {
        tg::SourceFeed(source).parseChunk(data.substr(at, kChunkSize));
    }
    // A last line without line end stays pending; a new pass starts afresh.
    tg::SourceFeed(source).clearPending();
    const auto end = std::chrono::steady_clock::now();
    return std::chrono::duration<double>(end - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, options)) {
        std::fputs("usage: parse_bench [--regexp RE] [--repeat N (1..1000)] FILE\n", stderr);
        return 2;
    }
    tg::RegExp check;
    if (check.compile(options.regexp) != 0) {
        std::fprintf(stderr, "parse_bench: the expression does not compile: %s\n",
                     options.regexp.c_str());
        return 2;
    }
    std::string data;
    if (!readFile(options.file, data)) {
        std::fprintf(stderr, "parse_bench: cannot read %s\n", options.file.c_str());
        return 2;
    }
    // Only complete lines count: the source keeps a final line without line end pending.
    LineCounter counter;
    counter.add(data);
    const std::uint64_t lines = counter.complete();

    TempDir folder("tg-parse-bench");
    if (folder.path().empty()) {
        std::perror("parse_bench: mkdtemp");
        return 2;
    }
    tg::ConfigStore store(folder.path() / "store.db");
    if (!store.isOpen()) {
        std::fprintf(stderr, "parse_bench: cannot open a store: %s\n", store.error().c_str());
        return 2;
    }
    CountingEvents events;
    tg::DataSource source("bench", store, events);
    (void)source.setRegexp(options.regexp);
    source.setFields(fieldNamesFor(check.groupCount()));
    CountingListener listener;
    source.attach(listener);

    printMachine();
    const double megabytes = static_cast<double>(data.size()) / 1e6;
    std::printf("input:          %s, %.1f MB, %llu lines (%.0f bytes/line)\n", options.file.c_str(),
                megabytes, static_cast<unsigned long long>(lines),
                lines ? static_cast<double>(data.size()) / static_cast<double>(lines) : 0.0);
    std::printf("expression:     %s (groups: %zu)\n", options.regexp.c_str(), check.groupCount());
    std::printf("chunk size:     %zu bytes\n", kChunkSize);

    double best = 0;
    for (unsigned pass = 1; pass <= options.repeat; ++pass) {
        const double seconds = timeOnePass(source, data);
        if (pass == 1 || seconds < best) best = seconds;
        std::printf("pass %-3u        %.3f s  %12.0f lines/s  %8.1f MB/s\n", pass, seconds,
                    static_cast<double>(lines) / seconds, megabytes / seconds);
    }
    source.detach(listener);

    const std::uint64_t expected = lines * options.repeat;
    const std::uint64_t errors = listener.errors();
    std::printf("best:           %.3f s  %12.0f lines/s  %8.1f MB/s\n", best,
                static_cast<double>(lines) / best, megabytes / best);
    std::printf(
        "records:        %llu delivered, %llu error records, %llu event log lines "
        "(all passes; %llu value bytes)\n",
        static_cast<unsigned long long>(listener.processed()),
        static_cast<unsigned long long>(errors), static_cast<unsigned long long>(events.lines()),
        static_cast<unsigned long long>(listener.valueBytes()));
    if (errors != 0) std::printf("WARNING:        some lines did not give a record\n");
    if (listener.observed() != expected) {
        std::printf("FAILED:         %llu records observed for %llu lines\n",
                    static_cast<unsigned long long>(listener.observed()),
                    static_cast<unsigned long long>(expected));
        return 1;
    }
    return 0;
}
