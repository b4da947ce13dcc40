// What does a diagram with a million x labels cost? Fills a diagram grouped by client address
// (requests COUNT, bytes SUM; 1 to 3 records per address) with N distinct addresses (one
// million by default) and measures:
//   - resident memory per label beyond the label text, after filling and after loading;
//   - the diagram's lock held for copyData, and the worst delivery while copies, checkpoints
//     and page answers run (a second thread delivers records into the same diagram, as a
//     reader thread does);
//   - a full checkpoint (wall and CPU of the writing thread) and the store's size;
//   - loading the store as the daemon does at start-up (a new DiagramManager);
//   - the chart page's data script and the JSON and CSV answers: time and size;
//   - the JSON and CSV answers fetched through the HTTP server, and the longest turn its
//     reactor spent meanwhile (what every other client of the server waits at worst).
// Usage: labels_bench [--labels N]  (it runs itself with --load STORE LABELS TEXTBYTES)

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "config/config_store.h"
#include "datasource/source_manager.h"
#include "diagram/checkpoint.h"
#include "diagram/diagram_manager.h"
#include "http/account_store.h"
#include "http/http_server.h"
#include "http/http_settings.h"
#include "http/media_types.h"
#include "http/reactor.h"
#include "http/request_processor.h"
#include "metrics/diagram_export.h"
#include "metrics/metrics_exporter.h"
#include "platform/event_sink.h"
#include "platform/unique_fd.h"
#include "platform/user_messages.h"
#include "web/chart_script.h"
#include "web/data_routes.h"
#include "web/page_dispatch.h"
#include "web/page_factory.h"
#include "web/web_pages.h"

namespace tg {
namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* kDiagram = "by client";
constexpr const char* kSource = "web";

double millis(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// VmRSS of this process in bytes.
std::size_t residentBytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtoull(line.c_str() + 6, nullptr, 10) * 1024;
    }
    return 0;
}

std::string address(std::size_t i) {
    return std::to_string(10 + (i >> 24 & 127)) + "." + std::to_string(i >> 16 & 255) + "." +
           std::to_string(i >> 8 & 255) + "." + std::to_string(i & 255);
}

const FieldNames kFields{"host", "bytes"};

// Delivers records of an existing label into the diagram until `stop`, holding the source's
// delivery lock as its reader thread does; the worst delivery.
class Deliveries {
public:
    Deliveries(const DataSource& source, Diagram& diagram)
        : m_thread([this, &source, &diagram] { run(source, diagram); }) {}
    ~Deliveries() { stop(); }
    double stop() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
        return m_worstMs;
    }

private:
    void run(const DataSource& source, Diagram& diagram) {
        const Record record{address(0), "100"};
        while (!m_stop.load()) {
            const auto start = Clock::now();
            {
                auto delivery = source.holdDelivery();
                diagram.processRecord(record, kFields);
            }
            m_worstMs = std::max(m_worstMs, millis(Clock::now() - start));
        }
    }
    std::atomic<bool> m_stop{false};
    double m_worstMs = 0;
    std::thread m_thread;
};

struct Timing {
    double medianMs = 0;
    double maxMs = 0;
    double cpuMs = 0;  // median, of the calling thread
};

Timing timeRuns(int runs, const std::function<void()>& body) {
    std::vector<double> wall;
    std::vector<double> cpu;
    for (int run = 0; run < runs; ++run) {
        const double cpuStart = threadCpuMs();
        const auto start = Clock::now();
        body();
        wall.push_back(millis(Clock::now() - start));
        cpu.push_back(threadCpuMs() - cpuStart);
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    return {wall[wall.size() / 2], wall.back(), cpu[cpu.size() / 2]};
}

// The time the diagram's lock is held for one copy of its data: the copy under the lock where
// the diagram copies in two steps, else the whole copyData.
template <class D>
Timing lockedCopy(const D& diagram) {
    if constexpr (requires { diagram.roomForCopy(); }) {
        std::vector<double> wall, cpu;
        for (int run = 0; run < 5; ++run) {
            DiagramData data = diagram.roomForCopy();
            const double cpuStart = threadCpuMs();
            const auto start = Clock::now();
            diagram.copyInto(data);
            wall.push_back(millis(Clock::now() - start));
            cpu.push_back(threadCpuMs() - cpuStart);
        }
        std::sort(wall.begin(), wall.end());
        std::sort(cpu.begin(), cpu.end());
        return {wall[2], wall[4], cpu[2]};
    } else {
        return timeRuns(5, [&] { (void)diagram.copyData(); });
    }
}

// The chart as the chart page asks for it: at most 1000 labels where the page limits them.
template <class Manager>
ChartView chartPageView(Manager& diagrams) {
    if constexpr (requires { chartViewOf(diagrams, kDiagram, std::size_t{1000}); }) {
        return chartViewOf(diagrams, kDiagram, std::size_t{1000});
    } else {
        return chartViewOf(diagrams, kDiagram);
    }
}

// Lets every request in: the data addresses ask for the chart page's rights.
class OpenPages : public TemplateRunner {
public:
    TemplateVariables variablesFor(std::string_view, std::string_view) override { return {}; }
    Access CheckAccess(const TemplateVariables&, const RequestClient&) override {
        return Access::Granted;
    }
    std::string FindPageName(std::string_view name) override { return std::string(name); }
    void RunPage(TemplateVariables&, std::string&) override {}
};

struct Served {
    std::string body;  // after the head
    double wallMs = 0;
    double longestTurnMs = 0;
};

// Fetches `target` through the HTTP server on 127.0.0.1, its reactor on a thread of its own.
// A 1 ms timer on the reactor notes how late it comes due: the longest turn the reactor spent
// on anything, which is how long any other client of the server waits at worst.
Served fetchServed(ConfigStore& store, SourceManager& sources, DiagramManager& diagrams,
                   const std::string& target) {
    Served served;
    HttpSettings settings(store);
    MetricsExporter metrics(diagrams, sources, settings, nullptr);
    WebDataRoutes routes(metrics, diagrams);
    OpenPages pages;
    const MediaTypes mediaTypes = MediaTypes::load();
    StderrMessages messages;
    Reactor reactor;
    RequestProcessor processor(ContentRoot{"/nonexistent", "127.0.0.1", 80}, mediaTypes, pages,
                               noEventSink());
    processor.setDataRoutes(&routes);
    HttpServer server(reactor, settings, processor, messages, "127.0.0.1");
    if (!server.startListening(0)) return served;

    Reactor::Clock::time_point due = Reactor::Clock::now() + std::chrono::milliseconds(1);
    Clock::duration longest{};
    std::function<void()> tick = [&] {
        const auto now = Reactor::Clock::now();
        longest = std::max(longest, now - due);
        due = now + std::chrono::milliseconds(1);
        (void)reactor.after(std::chrono::milliseconds(1), tick);
    };
    (void)reactor.after(std::chrono::milliseconds(1), tick);
    std::thread loop([&] { reactor.run(); });

    const auto start = Clock::now();
    std::string answer;
    {
        UniqueFd client(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(server.port());
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const std::string request = "GET " + target + " HTTP/1.0\r\n\r\n";
        if (::connect(client.get(), reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 &&
            ::send(client.get(), request.data(), request.size(), MSG_NOSIGNAL) ==
                static_cast<ssize_t>(request.size())) {
            char buffer[65536];
            for (ssize_t got; (got = ::recv(client.get(), buffer, sizeof buffer, 0)) > 0;) {
                answer.append(buffer, static_cast<std::size_t>(got));
            }
        }
    }
    served.wallMs = millis(Clock::now() - start);
    reactor.stop();
    loop.join();
    served.longestTurnMs = millis(longest);
    const std::size_t bodyStart = answer.find("\r\n\r\n");
    if (bodyStart != std::string::npos) served.body = answer.substr(bodyStart + 4);
    return served;
}

bool defineSource(SourceManager& sources, const std::filesystem::path& log) {
    if (sources.create(kSource) != 0) return false;
    SourceHandle source = sources.acquire(kSource);
    if (!source) return false;
    (void)source->setType(SourceType::File);
    (void)source->setConnect(log.string());  // never written: the reader waits for it
    (void)source->setRegexp("^([^ ]+) ([0-9]+)");
    source->setFields(kFields);
    source->save();
    return true;
}

int measure(std::size_t labels) {
    bench::TempDir dir("tg-labels-bench");
    const std::filesystem::path storePath = dir.path() / "store.db";
    ConfigStore store(storePath);
    SourceManager sources(store);
    if (!defineSource(sources, dir.path() / "missing.log")) return 1;
    std::size_t textBytes = 0;
    {
        DiagramManager diagrams(store, sources);
        if (diagrams.create(kDiagram) != 0) return 1;
        DiagramHandle diagram = diagrams.acquire(kDiagram);
        const SourceHandle source = sources.acquire(kSource);
        (void)diagram->setGroup("client", "host", "");
        (void)diagram->setAxis("requests", "host", "", AxisOper::Count);
        (void)diagram->setAxis("bytes", "bytes", "", AxisOper::Sum);
        if (diagram->setDataSource(kSource) != 0 || !diagram->isRunning()) return 1;
        diagram->saveDefinition();

        const std::size_t before = residentBytes();
        const auto fillStart = Clock::now();
        for (std::size_t i = 0; i < labels; ++i) {
            const Record record{address(i), std::to_string(100 + i % 900)};
            textBytes += record[0].size() + 1;  // the label is "/" and the address
            for (std::size_t r = 0; r <= i % 3; ++r) diagram->processRecord(record, kFields);
        }
        const double fillMs = millis(Clock::now() - fillStart);
        const double perLabel = (static_cast<double>(residentBytes()) -
                                 static_cast<double>(before) - static_cast<double>(textBytes)) /
                                static_cast<double>(labels);
        std::printf("\n%zu labels, %zu bytes of label text\n", labels, textBytes);
        std::printf("  filled in %.0f ms; resident beyond the text: %.1f bytes per label\n", fillMs,
                    perLabel);

        {
            Deliveries deliveries(*source, *diagram);
            const Timing copy = timeRuns(5, [&] { (void)diagram->copyData(); });
            const Timing numbers = timeRuns(5, [&] { (void)diagram->copyData(false); });
            const Timing locked = lockedCopy(*diagram);
            const double worst = deliveries.stop();
            std::printf("  lock held for the copy: median %.1f ms (%.1f ms CPU), max %.1f ms\n",
                        locked.medianMs, locked.cpuMs, locked.maxMs);
            std::printf(
                "  copyData: median %.1f ms (%.1f ms CPU), max %.1f ms (numbers only: %.1f,"
                " max %.1f); worst delivery meanwhile %.1f ms\n",
                copy.medianMs, copy.cpuMs, copy.maxMs, numbers.medianMs, numbers.maxMs, worst);
        }
        diagram->saveData();  // the checkpoint writes into existing keys only
        Checkpoint checkpoint(store, sources, diagrams);
        {
            Deliveries deliveries(*source, *diagram);
            const Timing write = timeRuns(3, [&] { (void)checkpoint.write(true); });
            const double worst = deliveries.stop();
            std::printf(
                "  checkpoint: median %.0f ms wall, %.0f ms CPU, max %.0f ms;"
                " worst delivery meanwhile %.1f ms\n",
                write.medianMs, write.cpuMs, write.maxMs, worst);
        }
        {
            Deliveries deliveries(*source, *diagram);
            std::size_t bytes = 0;
            std::size_t charted = 0;
            const Timing chart = timeRuns(3, [&] {
                std::string out;
                const ChartView view = chartPageView(diagrams);
                appendChartScript(out, view);
                bytes = out.size();
                charted = view.labels.size();
            });
            std::printf("  chart script: median %.0f ms (%.0f ms CPU), %zu bytes, %zu labels\n",
                        chart.medianMs, chart.cpuMs, bytes, charted);
            const Timing json =
                timeRuns(3, [&] { bytes = diagramJson(diagramTableOf(*diagram)).size(); });
            std::printf("  JSON: median %.0f ms (%.0f ms CPU), %zu bytes\n", json.medianMs,
                        json.cpuMs, bytes);
            const Timing csv =
                timeRuns(3, [&] { bytes = diagramCsv(diagramTableOf(*diagram)).size(); });
            std::printf("  CSV: median %.0f ms (%.0f ms CPU), %zu bytes\n", csv.medianMs, csv.cpuMs,
                        bytes);
            {
                // The data table page as the server runs it, with a template of one row per label.
                PageFactory pages;
                registerWebPages(pages, diagrams, sources);
                AccountStore accounts(store);
                PageDispatcher dispatcher(pages, accounts);
                const std::filesystem::path page = dir.path() / "modaltest.html";
                std::ofstream(page) << "<*AXISRECORD*><th>*AXISNAME*</th></*AXISRECORD*>"
                                       "<*GROUPRECORD*><tr><td>*GROUPNAME*</td><*DATA*><td>*VALUE*"
                                       "</td></*DATA*></tr>\n</*GROUPRECORD*>";
                const Timing table = timeRuns(3, [&] {
                    TemplateVariables request =
                        dispatcher.variablesFor("name=by+client", page.string());
                    std::string body;
                    dispatcher.RunPage(request, body);
                    bytes = body.size();
                });
                std::printf("  data table page: median %.0f ms (%.0f ms CPU), %zu bytes\n",
                            table.medianMs, table.cpuMs, bytes);
            }
            std::printf("  worst delivery during the pages: %.1f ms\n", deliveries.stop());
        }
        for (const char* format : {"json", "csv"}) {
            const Served served = fetchServed(
                store, sources, diagrams, std::string("/diagram.") + format + "?name=by+client");
            const DiagramTable table = diagramTableOf(*diagram);
            const bool same =
                served.body == (*format == 'j' ? diagramJson(table) : diagramCsv(table));
            std::printf(
                "  served %s: %.0f ms, %zu bytes (%s); longest reactor turn meanwhile %.1f ms\n",
                format, served.wallMs, served.body.size(), same ? "identical" : "DIFFERENT",
                served.longestTurnMs);
        }
    }
    std::printf("  store: %.1f MB\n",
                static_cast<double>(std::filesystem::file_size(storePath)) / 1e6);
    // Start-up in a process of its own, so that nothing freed here is counted or reused there.
    const std::string command = "/proc/" + std::to_string(::getpid()) + "/exe --load '" +
                                storePath.string() + "' " + std::to_string(labels) + " " +
                                std::to_string(textBytes);
    std::fflush(stdout);
    return std::system(command.c_str()) == 0 ? 0 : 1;
}

// Start-up: every stored diagram loaded with its data, as the daemon does.
int load(const std::filesystem::path& storePath, std::size_t labels, std::size_t textBytes) {
    ConfigStore store(storePath);
    SourceManager sources(store);
    const std::size_t before = residentBytes();
    const double cpuStart = threadCpuMs();
    const auto start = Clock::now();
    DiagramManager loaded(store, sources);
    const double loadMs = millis(Clock::now() - start);
    const double loadCpu = threadCpuMs() - cpuStart;
    DiagramHandle diagram = loaded.acquire(kDiagram);
    if (!diagram) return 1;
    const double perLabel = (static_cast<double>(residentBytes()) - static_cast<double>(before) -
                             static_cast<double>(textBytes)) /
                            static_cast<double>(labels);
    const std::size_t count = diagram->copyData(false).xLabels.size();
    std::printf(
        "  start-up load: %.0f ms wall, %.0f ms CPU, %zu labels; resident beyond the"
        " text: %.1f bytes per label\n",
        loadMs, loadCpu, count, perLabel);
    return count == labels ? 0 : 1;
}

}  // namespace
}  // namespace tg

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "--load") == 0) {
        return tg::load(argv[2], std::strtoull(argv[3], nullptr, 10),
                        std::strtoull(argv[4], nullptr, 10));
    }
    std::size_t labels = 1000000;
    for (int i = 1; i < argc; i += 2) {
        if (i + 1 >= argc || std::strcmp(argv[i], "--labels") != 0) {
            std::fprintf(stderr, "usage: labels_bench [--labels N]\n");
            return 2;
        }
        labels = std::strtoull(argv[i + 1], nullptr, 10);
    }
    if (labels == 0) labels = 1;
    tg::bench::printMachine();
    return tg::measure(labels);
}
