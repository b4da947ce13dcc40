#include "datasource/source_manager.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "config/config_key.h"
#include "datasource/source_keys.h"
#include "support/recording_listener.h"
#include "support/temp_dir.h"

namespace tg {
namespace {

class SourceManagerTest : public ::testing::Test {
protected:
    void storeSource(const std::string& name, std::uint32_t type) {
        ConfigKey key(m_store);
        (void)key.open(sourceKeyPath(name));
        key.setDword("type", type);
    }
    bool stored(const std::string& name) {
        ConfigKey key(m_store);
        return key.openExisting(sourceKeyPath(name));
    }
    test::TempDir m_dir;
    ConfigStore m_store{m_dir.path() / "store.db"};
};

TEST_F(SourceManagerTest, LoadsEveryStoredSourceWithoutStartingIt) {
    storeSource("web", 1);
    storeSource("Api", 2);
    SourceManager manager(m_store);
    EXPECT_EQ(manager.names(), (std::vector<std::string>{"Api", "web"}));
    SourceHandle web = manager.acquire("web");
    ASSERT_TRUE(web);
    EXPECT_EQ(web->type(), SourceType::File);
    EXPECT_FALSE(web->isRunning());
    EXPECT_FALSE(manager.acquire("WEB"));  // names compare with case
}

std::uintmax_t sizeOf(const std::string& path) { return std::filesystem::file_size(path); }

// A saved FILE source on `log`, a word a line, duplicated into `backup`.
// Writes "one" and "two" to `log`, makes `source` a FILE source of one-word lines on it with
// its duplicates in `backup`, and attaches `listener`: true once both records arrived.
bool readTwoWords(DataSource& source, test::RecordingListener& listener, const std::string& log,
                  const std::string& backup) {
    test::appendFile(log, "one\ntwo\n");
    source.setType(SourceType::File);
    source.setConnect(log);
    source.setRegexp("^([a-z]+)$");
    source.setFields({"word"});
    source.setBackup(backup);
    source.save();
    source.attach(listener);
    return listener.waitForProcessed(2);
}

TEST_F(SourceManagerTest, OnlyTheDaemonStartCutsTheDuplicateLogAndOnlyTheOneItWrote) {
    const std::string log = m_dir.file("app.log");
    const std::string backup = m_dir.file("dup.log");
    {
        DataSource source("web", m_store);
        test::RecordingListener listener;
        ASSERT_TRUE(readTwoWords(source, listener, log, backup));
        source.detach(listener);
    }  // stores the position with the log's length: 2 records
    const std::uintmax_t recorded = sizeOf(backup);
    // Copies written after the stored data was saved, before the process was killed.
    test::appendFile(backup, "three\t\r\n");

    // Reading or editing definitions changes no file.
    { SourceManager inspecting(m_store); }
    EXPECT_EQ(sizeOf(backup), recorded + 8);

    // Another file at the backup path is not the daemon's to cut, and a tool that only loaded
    // the source records nothing about it.
    std::filesystem::rename(backup, backup + ".keep");
    test::appendFile(backup, "someone else's text, longer than the recorded length\n");
    const std::uintmax_t foreign = sizeOf(backup);
    { SourceManager inspecting(m_store); }
    { SourceManager starting(m_store, noEventSink(), SourceLoading::DaemonStart); }
    EXPECT_EQ(sizeOf(backup), foreign);

    std::filesystem::rename(backup + ".keep", backup);
    { SourceManager starting(m_store, noEventSink(), SourceLoading::DaemonStart); }
    EXPECT_EQ(sizeOf(backup), recorded);
}

TEST_F(SourceManagerTest, ALogWrittenBeforeAnyCheckpointIsCutBackAtTheNextStart) {
    const std::string log = m_dir.file("app.log");
    const std::string backup = m_dir.file("dup.log");
    DataSource source("web", m_store);
    test::RecordingListener listener;
    ASSERT_TRUE(readTwoWords(source, listener, log, backup));
    ASSERT_TRUE(source.duplicateExtent());  // the copies are in the log, as a checkpoint finds
    ASSERT_GT(sizeOf(backup), 0u);
    // No checkpoint stored the position past them: were the process killed now, the next
    // start reads both lines again, so their copies must go.
    { SourceManager starting(m_store, noEventSink(), SourceLoading::DaemonStart); }
    EXPECT_EQ(sizeOf(backup), 0u);
    source.detach(listener);
}

TEST_F(SourceManagerTest, HeldReadersStartOnlyWhenTheLastHoldIsLetGo) {
    storeSource("web", 1);
    SourceManager manager(m_store);
    manager.holdReaders(true);
    manager.holdReaders(true);  // a caller inside the first hold (loading diagrams)
    ASSERT_EQ(manager.create("new"), 0);
    test::RecordingListener listener;
    SourceHandle web = manager.acquire("web");
    SourceHandle created = manager.acquire("new");
    web->attach(listener);
    created->attach(listener);
    manager.holdReaders(false);
    EXPECT_FALSE(web->isRunning());
    EXPECT_FALSE(created->isRunning());
    manager.holdReaders(false);
    EXPECT_TRUE(web->isRunning());
    EXPECT_TRUE(created->isRunning());
    manager.holdReaders(false);  // one release too many changes nothing
    web->detach(listener);
    created->detach(listener);
}

TEST_F(SourceManagerTest, CreateRefusesATakenNameAndStoresNothingAnImportIsAddedAsItIs) {
    SourceManager manager(m_store);
    EXPECT_EQ(manager.create("new"), 0);
    EXPECT_EQ(manager.create("new"), 1);
    EXPECT_EQ(manager.names(), (std::vector<std::string>{"new"}));
    EXPECT_FALSE(stored("new"));

    auto source = std::make_unique<DataSource>("imported", m_store);
    source->setConnect("/var/log/x.log");
    manager.add(std::move(source));
    EXPECT_EQ(manager.acquire("imported")->connect(), "/var/log/x.log");
}

TEST_F(SourceManagerTest, RemoveRefusesUnknownBorrowedOrListenedSources) {
    storeSource("web", 0);
    SourceManager manager(m_store);
    EXPECT_EQ(manager.remove("missing"), 1);

    SourceHandle handle = manager.acquire("web");
    EXPECT_EQ(manager.remove("web"), 1);
    test::RecordingListener listener;
    handle->attach(listener);
    manager.release(handle);
    EXPECT_EQ(manager.remove("web"), 1);
    EXPECT_TRUE(stored("web"));

    manager.acquire("web")->detach(listener);
    EXPECT_EQ(manager.remove("web"), 0);
    EXPECT_TRUE(manager.names().empty());
    EXPECT_FALSE(stored("web"));  // not even brought back by the last position
}

}  // namespace
}  // namespace tg
