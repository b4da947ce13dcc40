// Delivery, start and stop, definition changes, rebuilds and reads of one diagram from several
// threads at once must never deadlock or race (run under ThreadSanitizer too).

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "diagram_fixture.h"
#include "support/recording_listener.h"

namespace tg {
namespace {

class DiagramStressTest : public test::DiagramFixture {};

TEST_F(DiagramStressTest, EverythingAtOnceNeverDeadlocks) {
    const std::string log = m_dir.file("busy.log");
    std::ofstream(log) << "200 1\n";
    Diagram diagram("busy", m_store, m_sources);
    followLog(log, diagram);

    std::atomic<bool> writing{true};
    std::thread writer([&] {
        std::ofstream out(log, std::ios::app);
        for (int i = 0; writing && i < 100000; ++i) {
            out << (i % 3 ? "200 " : "404 ") << i % 100 << '\n';
            if (i % 20 == 0) out.flush();
        }
    });
    auto loop = [](int times, auto step) {
        return std::thread([=] {
            for (int i = 0; i < times; ++i) step(i);
        });
    };
    std::thread runner = loop(60, [&](int i) { (void)(i % 2 ? diagram.stop() : diagram.start()); });
    std::thread editor =
        loop(60, [&](int i) { diagram.setFilter("f", "status", i % 2 ? "^2" : "", 0); });
    std::thread rebuilder = loop(20, [&](int) { (void)diagram.rebuild(0); });
    std::thread reader = loop(200, [&](int) {
        (void)diagram.chartData();
        (void)diagram.recentTable();
        (void)diagram.isRunning();
    });
    runner.join();
    editor.join();
    rebuilder.join();
    reader.join();

    // Still alive and counting afterwards.
    (void)diagram.start();
    test::RecordingListener after;
    m_sources.acquire("web")->attach(after);
    std::ofstream(log, std::ios::app) << "299 1\n";
    std::size_t seen = 0;
    while (after.waitForProcessed(seen + 1) && after.processed().back() != Record{"299", "1"}) {
        seen = after.processed().size();
    }
    EXPECT_EQ(diagram.chartData().xLabels.back(), "/299");
    m_sources.acquire("web")->detach(after);
    (void)diagram.stop();
    writing = false;
    writer.join();
}

}  // namespace
}  // namespace tg
