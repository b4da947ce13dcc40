#include <gtest/gtest.h>

#include <fstream>

#include "datasource/data_source.h"
#include "datasource/source_feed.h"
#include "support/recording_listener.h"
#include "support/temp_dir.h"

namespace tg {
namespace {

class ReplayBackupTest : public ::testing::Test {
protected:
    ReplayBackupTest() {
        m_source.setBackup(m_backup);
        m_source.setFields({"a", "b"});
    }
    void writeBackup(const std::string& text) { std::ofstream(m_backup, std::ios::binary) << text; }

    test::TempDir m_dir;
    ConfigStore m_store{m_dir.path() / "store.db"};
    std::string m_backup = m_dir.file("dup.log");
    DataSource m_source{"s", m_store};
    test::RecordingListener m_listener;
};

TEST_F(ReplayBackupTest, LimitDeliversAtMostTwoLinesMore) {
    std::string text;
    for (int i = 0; i < 10; ++i) text += std::to_string(i) + "\tx\t\r\n";
    writeBackup(text);
    EXPECT_EQ(m_source.replayBackup(&m_listener, 3), 1);
    EXPECT_EQ(m_listener.processed().size(), 5u);

    test::RecordingListener all;
    EXPECT_EQ(m_source.replayBackup(&all, 0), 1);
    ASSERT_EQ(all.processed().size(), 10u);
    EXPECT_EQ(all.processed()[9], (Record{"9", "x"}));
}

TEST_F(ReplayBackupTest, SkipsLinesWithAnotherValueCountAndReadsLongLinesWhole) {
    const std::string longValue(20000, 'v');
    writeBackup("1\t\r\n" + longValue + "\t2\t\r\n1\t2\t3\t\r\nlast\tline\t");
    EXPECT_EQ(m_source.replayBackup(&m_listener, 0), 1);
    EXPECT_EQ(m_listener.processed(), (std::vector<Record>{{longValue, "2"}, {"last", "line"}}));
}

TEST_F(ReplayBackupTest, MissingFileGivesZero) {
    EXPECT_EQ(m_source.replayBackup(&m_listener, 0), 0);
    m_source.setBackup("");
    EXPECT_EQ(m_source.replayBackup(&m_listener, 0), 0);
}

TEST_F(ReplayBackupTest, ParsedRecordsReplayAsTheyWereDelivered) {
    m_source.setRegexp("([a-z]+)=([0-9]+)");
    SourceFeed(m_source).parseChunk("a=1\nb=2\n");
    EXPECT_EQ(m_source.replayBackup(&m_listener, 0), 1);
    EXPECT_EQ(m_listener.processed(), (std::vector<Record>{{"a", "1"}, {"b", "2"}}));
}

}  // namespace
}  // namespace tg
