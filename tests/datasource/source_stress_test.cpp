// Starting, stopping, resetting and restarting a source from several threads while records
// flow must never hang, never deliver to a detached listener's memory, and never race
// (run under ThreadSanitizer too).

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <random>
#include <thread>

#include "datasource/data_source.h"
#include "support/recording_listener.h"
#include "support/temp_dir.h"

namespace tg {
namespace {

class CountingListener : public RecordListener {
public:
    void processRecord(const Record&, const FieldNames&) override { ++processed; }
    void observeRecord(const Record&, const FieldNames&) override {}
    void reset() override { ++resets; }
    std::atomic<int> processed{0};
    std::atomic<int> resets{0};
};

TEST(SourceStress, ControlFromManyThreadsWhileRecordsFlowNeverHangs) {
    test::TempDir dir;
    ConfigStore store(dir.path() / "store.db");
    const std::string log = dir.file("busy.log");
    std::ofstream(log) << "start\n";
    DataSource source("busy", store);
    source.setType(SourceType::File);
    source.setConnect(log);
    source.setBackup(dir.file("dup.log"));
    source.setRegexp("^([a-z]+) ?([0-9]*)$");
    source.setFields({"word", "number"});
    source.save();

    std::atomic<bool> writing{true};
    std::thread writer([&] {
        std::ofstream out(log, std::ios::app);
        for (int i = 0; writing && i < 200000; ++i) {
            out << "line " << i << '\n';
            if (i % 50 == 0) out.flush();
        }
    });

    CountingListener listeners[3];
    auto control = [&](unsigned seed) {
        std::mt19937 random(seed);
        for (int step = 0; step < 150; ++step) {
            CountingListener& listener = listeners[random() % 3];
            switch (random() % 8) {
                case 0:
                case 1:
                case 2:
                    source.attach(listener);
                    break;
                case 3:
                case 4:
                    source.detach(listener);
                    break;
                case 5:
                    source.restart();
                    break;
                case 6:
                    source.reset();
                    break;
                default:
                    source.setRegexp(step % 2 ? "^([a-z]+) ?([0-9]*)$" : "^([a-z]+) ([0-9]+)$");
                    source.setFields({"word", "number"});
                    break;
            }
        }
    };
    std::thread first(control, 1u), second(control, 2u), third(control, 3u);
    first.join();
    second.join();
    third.join();

    // Whatever the interleaving, records still flow to a listener that stays.
    test::RecordingListener last;
    source.attach(last);
    std::ofstream(log, std::ios::app) << "final 1\n";
    EXPECT_TRUE(last.waitForProcessed(1));
    source.detachAll();
    EXPECT_FALSE(source.isRunning());
    writing = false;
    writer.join();
}

}  // namespace
}  // namespace tg
