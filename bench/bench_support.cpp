#include "bench_support.h"

#include <sys/stat.h>
#include <sys/utsname.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <system_error>
#include <thread>

#ifndef TG_BUILD_TYPE
#define TG_BUILD_TYPE "unknown"
#endif
#ifndef TG_BUILD_FLAGS
#define TG_BUILD_FLAGS ""
#endif

namespace tg::bench {
namespace {

const FieldNames kCombinedFields = {"host",   "ident", "user",    "time", "request",
                                    "status", "bytes", "referer", "agent"};

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

}  // namespace

FieldNames fieldNamesFor(std::size_t groups) {
    if (groups == kCombinedFields.size()) return kCombinedFields;
    FieldNames names;
    for (std::size_t i = 1; i <= groups; ++i) names.push_back("field" + std::to_string(i));
    return names;
}

void printMachine() {
    struct utsname system {};
    ::uname(&system);
    std::printf("machine:        %s, %u cores, Linux %s\n", cpuModel().c_str(),
                std::thread::hardware_concurrency(), system.release);
    std::printf("build:          %s (%s), %s\n", TG_BUILD_TYPE, TG_BUILD_FLAGS,
                compilerName().c_str());
}

std::filesystem::path regularFile(const std::string& name) {
    std::error_code error;
    const std::filesystem::path path = std::filesystem::absolute(name, error);
    struct stat status;
    if (error || ::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return {};
    return path;
}

TempDir::TempDir(std::string_view prefix) {
    std::string name = "/tmp/";
    name.append(prefix);
    name.append("-XXXXXX");
    if (::mkdtemp(name.data()) != nullptr) m_path = name;
}

TempDir::~TempDir() {
    std::error_code ignored;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
}

void LineCounter::add(std::string_view data) {
    for (char c : data) {
        if (c == '\n' || c == '\r') {
            if (m_inLine) ++m_complete;
            m_inLine = false;
        } else {
            m_inLine = true;
        }
    }
}

std::optional<FileLines> countFileLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    FileLines result;
    std::string buffer(1 << 16, '\0');
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
        const auto size = static_cast<std::size_t>(in.gcount());
        result.lines.add(std::string_view(buffer.data(), size));
        result.bytes += size;
    }
    if (in.bad()) return std::nullopt;
    return result;
}

void CountingListener::processDelivered(RecordView record, const FieldNames&) {
    // Touches every value so that the work cannot be optimised away.
    std::uint64_t bytes = 0;
    for (const std::string_view value : record) bytes += value.size();
    m_valueBytes.store(valueBytes() + bytes, std::memory_order_relaxed);
    m_processed.store(processed() + 1, std::memory_order_relaxed);
}

void CountingListener::observe() {
    const std::uint64_t count = observed() + 1;
    m_observed.store(count, std::memory_order_relaxed);
    if (count == m_expected.load(std::memory_order_relaxed)) {
        const Clock::time_point now = Clock::now();
        std::lock_guard lock(m_mutex);
        m_done = true;
        m_reachedAt = now;
        m_reached.notify_all();
    }
}

std::optional<CountingListener::Clock::time_point> CountingListener::waitForObserved(
    std::chrono::seconds bound) {
    if (m_expected.load() == 0) return Clock::now();
    std::unique_lock lock(m_mutex);
    if (!m_reached.wait_for(lock, bound, [this] { return m_done; })) return std::nullopt;
    return m_reachedAt;
}

bool parseLogOptions(int argc, char** argv, LogOptions& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--regexp" && i + 1 < argc) {
            options.regexp = argv[++i];
        } else if (arg == "--engine" && i + 1 < argc) {
            const std::string_view engine = argv[++i];
            if (engine != "auto" && engine != "glibc") return false;
            options.engine.engine =
                engine == "glibc" ? tg::RegExpEngine::GlibcOnly : tg::RegExpEngine::Auto;
        } else if (!arg.empty() && arg[0] != '-' && options.file.empty()) {
            options.file = argv[i];
        } else {
            return false;
        }
    }
    return !options.file.empty();
}

}  // namespace tg::bench
