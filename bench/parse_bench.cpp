// parse_bench: how many lines per second does record parsing take?
//
//   parse_bench [--regexp RE] [--repeat N] FILE
//
// Reads FILE into memory (so disk reads are not measured), then times feeding it to
// DataSource::parseChunk in chunks of 8191 bytes, as the readers do, with a nine-group
// expression for Apache combined logs and a listener that counts what it receives. Prints
// the machine and build beside the figures. Exit status 1 when the source produced a
// different number of records than the file has lines, 2 on bad usage or input.

#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "config/config_store.h"
#include "datasource/data_source.h"
#include "datasource/event_sink.h"
#include "datasource/record_listener.h"
#include "datasource/reg_exp.h"

#ifndef TG_BUILD_TYPE
#define TG_BUILD_TYPE "unknown"
#endif
#ifndef TG_BUILD_FLAGS
#define TG_BUILD_FLAGS ""
#endif

namespace {

constexpr std::size_t kChunkSize = 8191;  // what the file and socket readers pass at a time

// host ident user [time] "request" status bytes "referer" "user agent"
constexpr const char* kCombinedLog =
    R"re(^([^ ]+) ([^ ]+) ([^ ]+) \[([^]]+)\] "([^"]*)" ([0-9]+) ([0-9]+|-) "([^"]*)" "([^"]*)")re";

const tg::FieldNames kCombinedFields = {"host",   "ident", "user",    "time", "request",
                                        "status", "bytes", "referer", "agent"};

class CountingListener : public tg::RecordListener {
public:
    void processRecord(const tg::Record& record, const tg::FieldNames&) override {
        ++m_processed;
        // Touches every value so that the work cannot be optimised away.
        for (const std::string& value : record) m_valueBytes += value.size();
    }
    void observeRecord(const tg::Record&, const tg::FieldNames&) override { ++m_observed; }
    void reset() override {}

    std::uint64_t processed() const { return m_processed; }
    std::uint64_t observed() const { return m_observed; }
    std::uint64_t valueBytes() const { return m_valueBytes; }

private:
    std::uint64_t m_processed = 0;
    std::uint64_t m_observed = 0;
    std::uint64_t m_valueBytes = 0;
};

class CountingEvents : public tg::EventSink {
public:
    void writeLog(std::string_view, std::string_view) override { ++m_lines; }
    std::uint64_t lines() const { return m_lines; }

private:
    std::uint64_t m_lines = 0;
};

// A private folder under /tmp for the store, removed with everything in it.
class TempDir {
public:
    TempDir() {
        char name[] = "/tmp/tg-parse-bench-XXXXXX";
        if (::mkdtemp(name) != nullptr) m_path = name;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

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

// Lines as the source sees them: CR and LF both end a line and empty lines vanish.
std::uint64_t countLines(std::string_view data) {
    std::uint64_t lines = 0;
    bool inLine = false;
    for (char c : data) {
        if (c == '\n' || c == '\r') {
            if (inLine) ++lines;
            inLine = false;
        } else {
            inLine = true;
        }
    }
    return lines + (inLine ? 1 : 0);
}

std::string cpuModel() {
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("model name", 0) == 0) {
            const auto colon = line.find(':');
            if (colon != std::string::npos)
                return line.substr(line.find_first_not_of(" \t", colon + 1));
        }
    }
    return "unknown";
}

std::string compilerName() {
#if defined(__clang__)
    return "clang " __clang_version__;
#elif defined(__GNUC__)
    return "g++ " __VERSION__;
#else
    return "unknown";
#endif
}

void printMachine() {
    struct utsname system {};
    ::uname(&system);
    std::printf("machine:        %s, %u cores, Linux %s\n", cpuModel().c_str(),
                std::thread::hardware_concurrency(), system.release);
    std::printf("build:          %s (%s), %s\n", TG_BUILD_TYPE, TG_BUILD_FLAGS,
                compilerName().c_str());
}

// Feeds the whole file once; returns the seconds taken.
double timeOnePass(tg::DataSource& source, std::string_view data) {
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t at = 0; at < data.size(); at += kChunkSize) {
        source.parseChunk(data.substr(at, kChunkSize));
    }
    // A last line without line end stays pending; a new pass starts afresh.
    source.clearPending();
    const auto end = std::chrono::steady_clock::now();
    return std::chrono::duration<double>(end - start).count();
}

tg::FieldNames fieldNamesFor(std::size_t groups) {
    if (groups == kCombinedFields.size()) return kCombinedFields;
    tg::FieldNames names;
    for (std::size_t i = 1; i <= groups; ++i) names.push_back("field" + std::to_string(i));
    return names;
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
    // The final line may lack its line end; the source would keep it pending.
    const bool lastLineOpen = !data.empty() && data.back() != '\n' && data.back() != '\r';
    const std::uint64_t lines = countLines(data) - (lastLineOpen ? 1 : 0);

    TempDir folder;
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
    const std::uint64_t errors = listener.observed() - listener.processed();
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
