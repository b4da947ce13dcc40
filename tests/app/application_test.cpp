// The application in this process: start-up failures, and an exception escaping the loop that
// still ends in an orderly shutdown.

#include "app/application.h"

#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>

#include "config/instance_lock.h"
#include "diagram/checkpoint.h"
#include "diagram/checkpointer.h"
#include "daemon_process.h"
#include "daemon_store.h"
#include "support/reserved_port.h"
#include "support/temp_dir.h"

namespace tg {
namespace {

class RecordedMessages : public UserMessages {
public:
    void show(std::string_view text, MessageIcon) override { shown.emplace_back(text); }
    std::vector<std::string> shown;
};

AppOptions optionsFor(const std::string& storePath) {
    AppOptions options;
    options.store = storePath;
    options.htdocs = "/nonexistent";
    options.bindAddress = "127.0.0.1";
    options.checkpointInterval = std::chrono::milliseconds(0);  // only the shutdown saves
    return options;
}

TEST(Application, AnExceptionEscapingTheLoopStillSavesEverythingAndFreesTheStore) {
    test::TempDir dir;
    const std::string storePath = dir.file("store.db");
    const std::string log = dir.file("access.log");
    const test::ReservedPort port;
    test::defineWebStore(storePath, log, port.port());
    const std::string lines = "200 1\n200 2\n301 4\n";
    std::ofstream(log) << lines;

    RecordedMessages messages;
    Application application(optionsFor(storePath), messages);
    ASSERT_EQ(application.startUp(), std::nullopt);
    EXPECT_EQ(InstanceLock(storePath, InstanceLock::Mode::Editor).state(),
              InstanceLock::State::HeldElsewhere);
    ASSERT_TRUE(test::waitFor([&] {
        return application.sources().acquire("web")->deliveredPosition().offset == lines.size();
    }));

    application.runLoop([] { throw std::runtime_error("boom"); });
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_NE(messages.shown[0].find("boom"), std::string::npos);
    EXPECT_TRUE(application.shutDown());
    EXPECT_FALSE(application.running());

    EXPECT_TRUE(InstanceLock(storePath, InstanceLock::Mode::Instance).held());
    EXPECT_EQ(test::storedPosition(storePath), lines.size());
    EXPECT_EQ(test::storedText(storePath, "\\diagrams\\by status\\yaxises\\bytes", "data"), "3,4,");
}

TEST(Application, StoresThatCannotBeUsedEndStartUpWithAMessage) {
    test::TempDir dir;
    std::ofstream(dir.file("garbage.db")) << std::string(4096, 'x');
    std::ofstream(dir.file("plain")) << "a file, not a folder";
    test::defineWebStore(dir.file("readonly.db"), dir.file("access.log"), 1);
    test::ReadOnlyFile readOnly(dir.file("readonly.db"));
    ASSERT_TRUE(readOnly.made());
    for (const std::string& store :
         {dir.file("garbage.db"), dir.file("plain") + "/store.db", dir.file("readonly.db")}) {
        SCOPED_TRACE(store);
        RecordedMessages messages;
        Application application(optionsFor(store), messages);
        EXPECT_EQ(application.startUp(), 1);
        EXPECT_FALSE(application.running());
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_NE(messages.shown[0].find(store.substr(0, store.find("/store.db"))),
                  std::string::npos)
            << messages.shown[0];
        EXPECT_NE(messages.shown[0].back(), ' ') << "no reason given: " << messages.shown[0];
    }
    // The garbage is still there: a store that cannot be read is never overwritten.
    EXPECT_EQ(test::readFile(dir.file("garbage.db")), std::string(4096, 'x'));
}

TEST(Checkpointer, ReportsAFailureOnceWithItsReasonAndThenTheRecovery) {
    test::TempDir dir;
    const std::string storePath = dir.file("store.db");
    test::defineWebStore(storePath, dir.file("access.log"), 1);
    ConfigStore store(storePath);
    SourceManager sources(store);
    sources.holdReaders(true);
    DiagramManager diagrams(store, sources);
    Checkpoint checkpoint(store, sources, diagrams);
    std::vector<std::string> reports;
    Checkpointer checkpointer(checkpoint, std::chrono::milliseconds(0),
                              [&](const std::string& text) { reports.push_back(text); });

    ASSERT_TRUE(store.exec("PRAGMA query_only=1"));  // every write fails as on a full disk
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(checkpointer.writeAndReport());
    ASSERT_TRUE(store.exec("PRAGMA query_only=0"));
    for (int i = 0; i < 2; ++i) EXPECT_TRUE(checkpointer.writeAndReport());
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0],
              std::string(Checkpointer::kFailed) + "attempt to write a readonly database");
    EXPECT_EQ(reports[1], Checkpointer::kRecovered);
}

}  // namespace
}  // namespace tg
