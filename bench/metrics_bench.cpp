// How long does one /metrics answer take, how large is it, and how long does it hold up a
// reader thread? Fills a diagram grouped by client address (requests COUNT, bytes SUM) with
// 10,000 and then 1,000,000 labels, times MetricsExporter::render (the whole answer body, label
// cap at its default of 10,000) and, while answers are being rendered, measures on a second
// thread how long each delivery of a record into the same diagram takes, as a reader thread
// delivers them. Usage: metrics_bench [--labels N ...]

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "config/config_store.h"
#include "datasource/source_manager.h"
#include "diagram/diagram_manager.h"
#include "http/http_settings.h"
#include "metrics/metrics_exporter.h"

namespace tg {
namespace {

using Clock = std::chrono::steady_clock;

double millis(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

std::string address(std::size_t i) {
    return "10." + std::to_string(i >> 16 & 255) + "." + std::to_string(i >> 8 & 255) + "." +
           std::to_string(i & 255);
}

struct Stall {
    double worstMs = 0;
    std::uint64_t deliveries = 0;
};

// Delivers records into the diagram until `stop`, timing each delivery.
Stall deliverWhile(Diagram& diagram, const FieldNames& fields, const std::atomic<bool>& stop) {
    Stall stall;
    Record record{address(0), "100"};  // a label that exists
    while (!stop.load()) {
        const auto start = Clock::now();
        diagram.processRecord(record, fields);
        stall.worstMs = std::max(stall.worstMs, millis(Clock::now() - start));
        ++stall.deliveries;
    }
    return stall;
}

void measure(std::size_t labels) {
    bench::TempDir dir("tg-metrics-bench");
    ConfigStore store(dir.path() / "store.db");
    SourceManager sources(store);
    DiagramManager diagrams(store, sources);
    HttpSettings settings(store);
    if (diagrams.create("by client") != 0) std::exit(1);
    const FieldNames fields{"host", "bytes"};
    {
        DiagramHandle diagram = diagrams.acquire("by client");
        diagram->setGroup("client", "host", "");
        diagram->setAxis("requests", "host", "", AxisOper::Count);
        diagram->setAxis("bytes", "bytes", "", AxisOper::Sum);
        const auto start = Clock::now();
        for (std::size_t i = 0; i < labels; ++i) {
            // 1 to 7 records per address, so that the cap has a busiest part to choose.
            Record record{address(i), std::to_string(100 + i % 900)};
            for (std::size_t r = 0; r <= i % 7; ++r) diagram->processRecord(record, fields);
        }
        std::printf("\n%zu labels (filled in %.0f ms)\n", labels, millis(Clock::now() - start));
    }
    MetricsExporter exporter(diagrams, sources, settings, nullptr);
    DiagramHandle diagram = diagrams.acquire("by client");

    // Without answers: the deliveries' own worst case over a comparable stretch.
    std::atomic<bool> stop{false};
    std::thread quiet([&] {
        const Stall stall = deliverWhile(*diagram, fields, stop);
        std::printf("  delivery alone:         worst %.2f ms over %llu deliveries\n", stall.worstMs,
                    static_cast<unsigned long long>(stall.deliveries));
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    stop = true;
    quiet.join();

    const auto copyStart = Clock::now();
    const DiagramData copy = diagram->copyData(false);  // as the answer copies
    const double copyMs = millis(Clock::now() - copyStart);

    stop = false;
    Stall during;
    std::thread reader([&] { during = deliverWhile(*diagram, fields, stop); });
    std::vector<double> times;
    std::size_t bytes = 0;
    for (int run = 0; run < 5; ++run) {
        const auto start = Clock::now();
        const std::string body = exporter.render(ExpositionFormat::Text);
        times.push_back(millis(Clock::now() - start));
        bytes = body.size();
    }
    stop = true;
    reader.join();
    std::sort(times.begin(), times.end());
    std::printf("  /metrics answer:        median %.1f ms (min %.1f, max %.1f), %zu bytes\n",
                times[2], times[0], times[4], bytes);
    std::printf("  lock held for the copy: %.1f ms (%zu labels copied)\n", copyMs,
                copy.xLabels.size());
    std::printf("  delivery during answers: worst %.2f ms over %llu deliveries\n", during.worstMs,
                static_cast<unsigned long long>(during.deliveries));
}

}  // namespace
}  // namespace tg

int main(int argc, char** argv) {
    std::vector<std::size_t> sizes;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--labels") != 0) {
            std::fprintf(stderr, "usage: metrics_bench [--labels N ...]\n");
            return 2;
        }
        sizes.push_back(std::strtoull(argv[i + 1], nullptr, 10));
    }
    if (sizes.empty()) sizes = {10000, 1000000};
    tg::bench::printMachine();
    for (const std::size_t labels : sizes) tg::measure(labels);
    return 0;
}
