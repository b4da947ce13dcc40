// The application in this process: start-up failures, and an exception escaping the loop that
// still ends in an orderly shutdown.

#include "app/application.h"

#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>

#include "app/instance_lock.h"
#include "daemon_process.h"
#include "daemon_store.h"
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
    test::defineWebStore(storePath, log, test::freeLoopbackPort());
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
    application.shutDown();
    EXPECT_FALSE(application.running());

    EXPECT_TRUE(InstanceLock(storePath, InstanceLock::Mode::Instance).held());
    EXPECT_EQ(test::storedPosition(storePath), lines.size());
    EXPECT_EQ(test::storedText(storePath, "\\diagrams\\by status\\yaxises\\bytes", "data"), "3,4,");
}

TEST(Application, StoresThatCannotBeUsedEndStartUpWithAMessage) {
    test::TempDir dir;
    std::ofstream(dir.file("garbage.db")) << std::string(4096, 'x');
    std::ofstream(dir.file("plain")) << "a file, not a folder";
    for (const std::string& store : {dir.file("garbage.db"), dir.file("plain") + "/store.db"}) {
        SCOPED_TRACE(store);
        RecordedMessages messages;
        Application application(optionsFor(store), messages);
        EXPECT_EQ(application.startUp(), 1);
        EXPECT_FALSE(application.running());
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_NE(messages.shown[0].find(store.substr(0, store.find("/store.db"))),
                  std::string::npos)
            << messages.shown[0];
    }
    // The garbage is still there: a store that cannot be read is never overwritten.
    std::ifstream garbage(dir.file("garbage.db"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(garbage), {}), std::string(4096, 'x'));
}

}  // namespace
}  // namespace tg
