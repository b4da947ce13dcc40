#include <gtest/gtest.h>

#include "config/config_key.h"
#include "datasource/data_source.h"
#include "datasource/source_feed.h"
#include "datasource/source_keys.h"
#include "support/recording_listener.h"
#include "support/temp_dir.h"

namespace tg {
namespace {

class SourcePersistenceTest : public ::testing::Test {
protected:
    ConfigKey sourceKey(std::string_view name) {
        ConfigKey key(m_store);
        (void)key.openExisting(sourceKeyPath(name));
        return key;
    }
    test::TempDir m_dir;
    ConfigStore m_store{m_dir.path() / "store.db"};
};

TEST_F(SourcePersistenceTest, SavedDefinitionLoadsBackWithTheStoredLayout) {
    {
        DataSource source("web", m_store);
        source.setType(SourceType::File);
        source.setRegexp(R"(^(\S+) (.*)\t$)");
        source.setConnect("/var/log/web.log");
        source.setBackup("/tmp/web.dup");
        source.setFields({"date", "level", "text"});
        source.save();
    }
    ConfigKey key = sourceKey("web");
    ASSERT_TRUE(key.isOpen());
    EXPECT_EQ(key.getDword("type", 0), 1u);
    EXPECT_EQ(key.getString("fields"), "date,level,text,");
    EXPECT_EQ(key.getString("regexp"), R"(^(\S+) (.*)\t$)");  // escapes kept as typed

    DataSource loaded("Temp", m_store);
    loaded.load("web");
    EXPECT_EQ(loaded.name(), "web");
    EXPECT_EQ(loaded.type(), SourceType::File);
    EXPECT_EQ(loaded.connect(), "/var/log/web.log");
    EXPECT_EQ(loaded.backup(), "/tmp/web.dup");
    EXPECT_EQ(loaded.fieldNames(), (FieldNames{"date", "level", "text"}));
}

TEST_F(SourcePersistenceTest, KeysWrittenByHandLoadAndAreCompleted) {
    // Only a type, at the full path, as tgctl reg set 'sources\hand' writes it.
    ConfigKey key(m_store);
    ASSERT_TRUE(key.open("SOFTWARE\\kestroware\\Tessellgrove\\2.0\\Sources\\hand", ""));
    key.setDword("type", 1);
    DataSource source("Temp", m_store);
    source.load("hand");
    EXPECT_EQ(source.type(), SourceType::File);
    EXPECT_EQ(key.valueNames(), (std::vector<std::string>{"backup", "connect", "datagramlines",
                                                          "fields", "lastpos", "regexp", "type"}));
    EXPECT_EQ(key.getDword("lastpos", 99), 0u);
    EXPECT_TRUE(source.fieldNames().empty());

    // Field names without the final comma lose the last one.
    key.setString("fields", "a,b");
    source.load("hand");
    EXPECT_EQ(source.fieldNames(), (FieldNames{"a"}));
}

TEST_F(SourcePersistenceTest, RenameIsRefusedWhileListenersAreAttached) {
    DataSource source("old", m_store);  // no transport: its reader ends at once
    source.save();
    test::RecordingListener listener;
    source.attach(listener);
    EXPECT_EQ(source.setName("new"), 1);
    EXPECT_EQ(source.name(), "old");
    source.detach(listener);

    ConfigKey stale(m_store);
    (void)stale.open(sourceKeyPath("new"));
    stale.setString("connect", "left over");
    EXPECT_EQ(source.setName("new"), 0);
    EXPECT_EQ(sourceKey("new").getString("connect"), "");  // what was stored there is gone
    EXPECT_TRUE(sourceKey("old").isOpen());                // the old key stays
}

TEST_F(SourcePersistenceTest, PositionBeyondFourGigabytesSurvivesDestruction) {
    const std::uint64_t offset = (5ull << 30) + 17;
    const std::uint64_t inode = (3ull << 32) + 7;
    {
        DataSource source("big", m_store);
        source.setType(SourceType::File);
        source.save();
        ASSERT_TRUE(SourceFeed(source).updateReadPosition({offset, inode, 0, {}}));
    }
    ConfigKey key = sourceKey("big");
    EXPECT_EQ(key.getDword("lastpos", 0), 17u + (1u << 30));  // the low 32 bits, as always
    DataSource loaded("Temp", m_store);
    loaded.load("big");
    EXPECT_EQ(loaded.lastPos(), offset);
    EXPECT_EQ(loaded.readPosition().fileId, inode);
}

TEST_F(SourcePersistenceTest, UnsavedOrDeletedSourceIsNotWrittenBackAtDestruction) {
    { DataSource never("never", m_store); }
    {
        DataSource deleted("deleted", m_store);
        deleted.save();
        DataSource::deleteStored(m_store, "deleted");
    }
    ConfigKey sources(m_store);
    (void)sources.openExisting(kSourcesKey);
    EXPECT_TRUE(sources.subKeyNames().empty());
}

}  // namespace
}  // namespace tg
