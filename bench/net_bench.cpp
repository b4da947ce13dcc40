// net_bench: how many lines per second do a TCP source and a UDP source take, beside a FILE
// source on the same lines in the same run, and how many datagrams does a UDP source lose at a
// given rate?
//
//   net_bench [--regexp RE] [--engine auto|glibc] [--udp-rate N] FILE
//
// Reads FILE into memory, then, each with a fresh source in one temporary store and the
// nine-group combined-log expression:
//   file  a FILE source on FILE, timed from attaching until the last line's record;
//   tcp   a TCP source on a loopback server that writes all of FILE as fast as the source
//         takes it, timed from the accepted connection until the last line's record;
//   udp   a UDP source, one datagram per line sent as fast as the sender can: lines/s
//         received and datagrams lost;
//   rate  the same at N datagrams per second (default 20000) for five seconds: datagrams
//         lost at that rate.
// A UDP run ends when every line arrived or none arrived for a second. Prints the machine and
// build beside the figures, and the receive buffer the system grants a UDP source. Exit status
// 1 when the file or TCP records did not all arrive within ten minutes, 2 on bad usage.

#include <arpa/inet.h>
#include <sys/resource.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "config/config_store.h"
#include "datasource/data_source.h"
#include "datasource/udp_transport.h"
#include "platform/unique_fd.h"
#include "platform/wake_event.h"

namespace {

using namespace tg::bench;
using Clock = CountingListener::Clock;

constexpr std::chrono::seconds kWaitBound{600};
constexpr std::chrono::seconds kRateSeconds{5};

struct Input {
    std::string bytes;
    std::vector<std::string_view> lines;  // each with its line end
    std::uint64_t complete = 0;
};

std::optional<Input> readInput(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    Input input;
    std::ostringstream all;
    all << file.rdbuf();
    input.bytes = all.str();
    LineCounter counter;
    counter.add(input.bytes);
    input.complete = counter.complete();
    std::size_t start = 0;
    for (std::size_t i = 0; i < input.bytes.size(); ++i) {
        if (input.bytes[i] == '\n') {
            input.lines.emplace_back(input.bytes.data() + start, i + 1 - start);
            start = i + 1;
        }
    }
    return input;
}

sockaddr_in loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

std::uint16_t boundPort(int fd) {
    sockaddr_in address{};
    socklen_t size = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    return ntohs(address.sin_port);
}

std::uint16_t freeUdpPort() {
    tg::UniqueFd socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    const sockaddr_in address = loopback(0);
    ::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    return boundPort(socket.get());
}

class Bench {
public:
    Bench(tg::ConfigStore& store, const LogOptions& options, std::size_t groups)
        : m_store(store), m_options(options), m_groups(groups) {}

    std::unique_ptr<tg::DataSource> source(const std::string& name, tg::SourceType type,
                                           const std::string& connect) {
        auto made = std::make_unique<tg::DataSource>(name, m_store, m_events);
        (void)made->setType(type);
        (void)made->setConnect(connect);
        made->setRegExpOptions(m_options.engine);
        (void)made->setRegexp(m_options.regexp);
        made->setFields(fieldNamesFor(m_groups));
        return made;
    }

private:
    tg::ConfigStore& m_store;
    const LogOptions& m_options;
    std::size_t m_groups;
    CountingEvents m_events;
};

// Seconds from `start` to the last line's record; nullopt when it did not come.
std::optional<double> awaitAll(CountingListener& listener, Clock::time_point start) {
    const auto last = listener.waitForObserved(kWaitBound);
    if (!last) return std::nullopt;
    return std::chrono::duration<double>(*last - start).count();
}

// Waits until `expected` records arrived or none arrived for a second: the seconds from
// `start` to the last record seen.
double awaitQuiet(const CountingListener& listener, std::uint64_t expected,
                  Clock::time_point start) {
    std::uint64_t seen = listener.observed();
    Clock::time_point changed = Clock::now();
    while (seen < expected && Clock::now() - changed < std::chrono::seconds(1)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        const std::uint64_t now = listener.observed();
        if (now != seen) {
            seen = now;
            changed = Clock::now();
        }
    }
    return std::chrono::duration<double>(changed - start).count();
}

struct UdpResult {
    std::uint64_t sent = 0;
    std::uint64_t received = 0;
    double seconds = 0;
};

// One datagram per line to a fresh UDP source; `rate` datagrams per second (0: unpaced), at
// most `limit` of them.
UdpResult runUdp(Bench& bench, const Input& input, std::uint64_t rate, std::uint64_t limit,
                 const std::string& name) {
    const std::uint16_t port = freeUdpPort();
    auto source = bench.source(name, tg::SourceType::Udp, "UDP:" + std::to_string(port));
    CountingListener listener;
    source->attach(listener);
    tg::UniqueFd sender(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    const sockaddr_in address = loopback(port);
    ::connect(sender.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    // Until the source is bound, datagrams are refused (the connected sender hears of it).
    const char probe[] = "\n";  // an empty line: the source drops it without a record
    for (int i = 0; i < 5000; ++i) {
        ::send(sender.get(), probe, 1, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        int error = 0;
        socklen_t size = sizeof error;
        ::getsockopt(sender.get(), SOL_SOCKET, SO_ERROR, &error, &size);
        if (error == 0 && i > 10) break;
    }
    UdpResult result;
    const std::uint64_t count = std::min<std::uint64_t>(limit, input.lines.size());
    const auto start = Clock::now();
    for (std::uint64_t i = 0; i < count; ++i) {
        if (rate != 0) {
            const auto due = start + std::chrono::nanoseconds(i * 1'000'000'000ull / rate);
            while (Clock::now() < due) {
            }
        }
        const std::string_view line = input.lines[i];
        if (::send(sender.get(), line.data(), line.size(), 0) ==
            static_cast<ssize_t>(line.size())) {
            ++result.sent;
        }
    }
    result.seconds = awaitQuiet(listener, result.sent, start);
    source->detach(listener);
    result.received = listener.observed();
    return result;
}

void printUdp(const char* label, const UdpResult& result) {
    const std::uint64_t lost = result.sent - std::min(result.sent, result.received);
    std::printf("%-16s%.3f s  %12.0f lines/s  sent %llu, received %llu, lost %llu (%.2f%%)\n",
                label, result.seconds, static_cast<double>(result.received) / result.seconds,
                static_cast<unsigned long long>(result.sent),
                static_cast<unsigned long long>(result.received),
                static_cast<unsigned long long>(lost),
                result.sent ? 100.0 * static_cast<double>(lost) / static_cast<double>(result.sent)
                            : 0.0);
}

// CPU seconds (user and system) of the whole process so far.
double cpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

long readNumber(const char* path) {
    std::ifstream in(path);
    long value = -1;
    in >> value;
    return value;
}

}  // namespace

int main(int argc, char** argv) {
    std::uint64_t rate = 20000;
    std::vector<char*> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--udp-rate") == 0 && i + 1 < argc) {
            rate = std::strtoull(argv[++i], nullptr, 10);
        } else {
            rest.push_back(argv[i]);
        }
    }
    LogOptions options;
    tg::RegExp check;
    if (rate == 0 || !parseLogOptions(static_cast<int>(rest.size()), rest.data(), options) ||
        check.compile(options.regexp) != 0) {
        std::fputs("usage: net_bench [--regexp RE] [--engine auto|glibc] [--udp-rate N] FILE\n",
                   stderr);
        return 2;
    }
    const std::filesystem::path path = regularFile(options.file);
    const std::optional<Input> input = path.empty() ? std::nullopt : readInput(path.string());
    if (!input || input->complete == 0) {
        std::fprintf(stderr, "net_bench: cannot read lines from %s\n", options.file.c_str());
        return 2;
    }
    TempDir folder("tg-net-bench");
    tg::ConfigStore store(folder.path() / "store.db");
    if (folder.path().empty() || !store.isOpen()) {
        std::fputs("net_bench: cannot make a temporary store\n", stderr);
        return 2;
    }
    Bench bench(store, options, check.groupCount());

    printMachine();
    std::printf("input:          %s, %.1f MB, %llu lines\n", path.c_str(),
                static_cast<double>(input->bytes.size()) / 1e6,
                static_cast<unsigned long long>(input->complete));
    std::fflush(stdout);

    // FILE
    auto file = bench.source("file", tg::SourceType::File, path.string());
    CountingListener fileRecords;
    fileRecords.expect(input->complete);
    double cpu = cpuSeconds();
    auto start = Clock::now();
    file->attach(fileRecords);
    const auto fileSeconds = awaitAll(fileRecords, start);
    file->detach(fileRecords);
    if (!fileSeconds) {
        std::puts("FAILED:         the FILE source's records did not all arrive");
        return 1;
    }
    const double fileRate = static_cast<double>(input->complete) / *fileSeconds;
    std::printf("file:           %.3f s  %12.0f lines/s  cpu %.3f s\n", *fileSeconds, fileRate,
                cpuSeconds() - cpu);
    std::fflush(stdout);

    // TCP
    tg::UniqueFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in any = loopback(0);
    ::bind(listener.get(), reinterpret_cast<const sockaddr*>(&any), sizeof any);
    ::listen(listener.get(), 1);
    auto tcp = bench.source("tcp", tg::SourceType::TcpIp,
                            "TCP:127.0.0.1:" + std::to_string(boundPort(listener.get())));
    CountingListener tcpRecords;
    tcpRecords.expect(input->complete);
    cpu = cpuSeconds();
    tcp->attach(tcpRecords);
    tg::UniqueFd peer(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
    start = Clock::now();
    double senderCpu = 0;
    std::thread sender([&] {
        std::string_view unsent = input->bytes;
        while (!unsent.empty()) {
            const ssize_t sent =
                ::send(peer.get(), unsent.data(), std::min<std::size_t>(unsent.size(), 65536),
                       MSG_NOSIGNAL);
            if (sent <= 0) break;
            unsent.remove_prefix(static_cast<std::size_t>(sent));
        }
        timespec used{};
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &used);
        senderCpu = static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) / 1e9;
    });
    const auto tcpSeconds = awaitAll(tcpRecords, start);
    sender.join();
    tcp->detach(tcpRecords);
    if (!tcpSeconds) {
        std::puts("FAILED:         the TCP source's records did not all arrive");
        return 1;
    }
    const double tcpRate = static_cast<double>(input->complete) / *tcpSeconds;
    std::printf("tcp:            %.3f s  %12.0f lines/s  cpu %.3f s (%.3f s of it the sender's)  "
                "%.0f%% of file (target: 80%%)\n",
                *tcpSeconds, tcpRate, cpuSeconds() - cpu, senderCpu, 100.0 * tcpRate / fileRate);
    std::fflush(stdout);

    // UDP
    {
        tg::UdpTransport probe(false);
        const tg::WakeEvent wake;
        probe.open("UDP:" + std::to_string(freeUdpPort()), wake);
        std::printf("udp buffer:     %d bytes granted (asked %d; net.core.rmem_max %ld, "
                    "rmem_default %ld)\n",
                    probe.receiveBufferBytes(), tg::UdpTransport::kReceiveBufferBytes,
                    readNumber("/proc/sys/net/core/rmem_max"),
                    readNumber("/proc/sys/net/core/rmem_default"));
        probe.close();
    }
    printUdp("udp flood:", runUdp(bench, *input, 0, input->lines.size(), "udp"));
    std::fflush(stdout);
    char label[64];
    std::snprintf(label, sizeof label, "udp %llu/s:", static_cast<unsigned long long>(rate));
    printUdp(label, runUdp(bench, *input, rate, rate * kRateSeconds.count(), "udprate"));
    return 0;
}
