#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "config/config_key.h"
#include "datasource/data_source.h"
#include "datasource/source_feed.h"
#include "datasource/source_keys.h"
#include "support/recording_listener.h"
#include "support/temp_dir.h"

namespace tg {
namespace {

class FileSourceTest : public ::testing::Test {
protected:
    FileSourceTest() {
        m_source.setType(SourceType::File);
        m_source.setConnect(m_log);
        m_source.setRegexp("^([a-z]+)$");
        m_source.setFields({"word"});
        m_source.save();
    }
    void append(const std::string& text) {
        std::ofstream(m_log, std::ios::binary | std::ios::app) << text;
    }
    std::uint32_t storedLastPos() {
        ConfigKey key(m_store);
        (void)key.openExisting(sourceKeyPath("log"));
        return key.getDword("lastpos", 12345);
    }

    test::TempDir m_dir;
    ConfigStore m_store{m_dir.path() / "store.db"};
    std::string m_log = m_dir.file("app.log");
    DataSource m_source{"log", m_store};
};

TEST_F(FileSourceTest, ReaderRunsExactlyWhileListenersAreAttached) {
    test::RecordingListener first, second;
    m_source.attach(first);
    m_source.attach(first);  // once only
    m_source.attach(second);
    EXPECT_EQ(m_source.listenerCount(), 2u);
    append("one\ntwo\n");
    ASSERT_TRUE(first.waitForProcessed(2));
    EXPECT_TRUE(m_source.isRunning());

    m_source.detach(first);
    EXPECT_TRUE(m_source.isRunning());
    append("three\n");
    ASSERT_TRUE(second.waitForProcessed(3));
    m_source.detach(second);
    EXPECT_FALSE(m_source.isRunning());
    EXPECT_EQ(first.processed().size(), 2u);  // detached listeners hear nothing more
}

TEST_F(FileSourceTest, ResetStartsTheFileAgainAndForgetsTheDuplicateLog) {
    const std::string backup = m_dir.file("dup.log");
    m_source.setBackup(backup);
    append("one\n");
    test::RecordingListener listener;
    m_source.attach(listener);
    ASSERT_TRUE(listener.waitForProcessed(1));
    ASSERT_EQ(m_source.replayBackup(nullptr, 0), 1);  // the record is in the log
    ASSERT_TRUE(std::filesystem::exists(backup));

    m_source.reset();
    EXPECT_EQ(storedLastPos(), 0u);
    EXPECT_EQ(listener.resets(), 1);
    append("two\n");  // the running reader starts again from the beginning
    ASSERT_TRUE(listener.waitForProcessed(3));
    EXPECT_EQ(listener.processed()[1], (Record{"one"}));
    m_source.detach(listener);  // the reader has closed the duplicate log once this returns
    // The duplicate log was started afresh: it holds what was read since the reset.
    std::ifstream in(backup, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "one\t\r\ntwo\t\r\n");
    m_source.attach(listener);

    m_source.restart();
    EXPECT_EQ(listener.resets(), 2);
    ASSERT_TRUE(listener.waitForProcessed(5));
    m_source.detach(listener);
    EXPECT_EQ(listener.processed().size(), 5u);
}

// A running reader hands its lines to its delivery thread, which splits some of them itself
// while it has time to spare: whichever thread split a line, records, error records and the
// duplicate log follow the order of the lines.
TEST_F(FileSourceTest, LinesSplitOnEitherThreadKeepTheirOrder) {
    const std::string backup = m_dir.file("dup.log");
    m_source.setBackup(backup);
    const auto word = [](int i) {
        std::string text;
        for (int digit = 0; digit < 4; ++digit, i /= 26) text += static_cast<char>('a' + i % 26);
        return text;
    };
    std::string text, duplicates;
    std::vector<Record> processed, observed;
    for (int i = 0; i < 60000; ++i) {  // several chunks
        if (i % 13 == 0) {
            text += "bad " + std::to_string(i) + "\n";
            observed.push_back({kParseErrorValue, "bad " + std::to_string(i)});
            continue;
        }
        text += word(i) + "\n";
        processed.push_back({word(i)});
        observed.push_back({word(i)});
        duplicates += word(i) + "\t\r\n";
    }
    append(text);
    test::RecordingListener listener;
    m_source.attach(listener);
    ASSERT_TRUE(listener.waitForProcessed(processed.size()));
    m_source.detach(listener);
    EXPECT_EQ(listener.processed(), processed);
    EXPECT_EQ(listener.observed(), observed);
    EXPECT_EQ(test::readFile(backup), duplicates);
}

// A daemon's run: loads the stored source, reads until `count` records came, stores the
// position at the end.
std::vector<Record> runStored(ConfigStore& store, std::size_t count) {
    DataSource source("log", store);
    source.load("log");
    test::RecordingListener listener;
    source.attach(listener);
    EXPECT_TRUE(listener.waitForProcessed(count));
    source.detach(listener);
    return listener.processed();
}

TEST_F(FileSourceTest, EachRunStoresItsPositionAndTheNextReadsWhatCameSince) {
    // The unfinished last line is left out of the stored position, to be read again whole.
    append("one\ntwo\nde");
    EXPECT_EQ(runStored(m_store, 2), (std::vector<Record>{{"one"}, {"two"}}));
    EXPECT_EQ(storedLastPos(), 8u);
    append("f\n");
    EXPECT_EQ(runStored(m_store, 1), (std::vector<Record>{{"def"}}));

    // Appended, then rotated by rename: the rest of the renamed file comes first.
    append("three\n");
    std::filesystem::rename(m_log, m_log + ".1");
    append("four\n");
    EXPECT_EQ(runStored(m_store, 2), (std::vector<Record>{{"three"}, {"four"}}));

    // Truncated and written again past the stored position.
    std::filesystem::resize_file(m_log, 0);
    append("five\nsix\nseven\n");
    EXPECT_EQ(runStored(m_store, 3), (std::vector<Record>{{"five"}, {"six"}, {"seven"}}));
}

// Leaves on its first record, from inside the delivery on the reader thread.
class LeavingListener : public test::RecordingListener {
public:
    explicit LeavingListener(DataSource& source) : m_source(source) {}
    void processRecord(const Record& record, const FieldNames& names) override {
        m_source.detach(*this);
        RecordingListener::processRecord(record, names);
    }

private:
    DataSource& m_source;
};

TEST_F(FileSourceTest, ListenerLeavingDuringDeliveryEndsTheReaderWithoutHanging) {
    append("one\ntwo\n");
    LeavingListener leaving(m_source);
    m_source.attach(leaving);
    ASSERT_TRUE(leaving.waitForProcessed(1));
    test::RecordingListener next;
    m_source.attach(next);  // a fresh reader after the old one ended
    append("three\n");
    ASSERT_TRUE(next.waitForProcessed(1));
    m_source.detach(next);
    EXPECT_EQ(leaving.processed().size(), 1u);
}

TEST(SourceReset, LeavesThePositionOfNetworkSources) {
    test::TempDir dir;
    ConfigStore store(dir.path() / "store.db");
    DataSource source("net", store);
    source.setType(SourceType::TcpIp);
    source.save();
    ASSERT_TRUE(SourceFeed(source).updateReadPosition({42, 0, 0, {}}));
    source.reset();
    EXPECT_EQ(source.lastPos(), 42u);
    std::string text = "TCP:127.0.0.1:1";  // the text given is tried, and nothing listens there
    EXPECT_FALSE(source.testConnection(text));
    EXPECT_EQ(text, "Connection refused");
}

}  // namespace
}  // namespace tg
