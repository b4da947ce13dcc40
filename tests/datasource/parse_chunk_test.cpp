#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "config/config_key.h"
#include "datasource/data_source.h"
#include "datasource/source_feed.h"
#include "datasource/list_text.h"
#include "datasource/source_keys.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

namespace tg {
namespace {

using Values = std::vector<std::string>;

// Keeps every call in order, as "observe:a|b" and "process:a|b".
class RecordingListener : public RecordListener {
public:
    void processRecord(const Record& record, const FieldNames&) override {
        calls.push_back("process:" + joined(record));
        processed.push_back(record);
    }
    void observeRecord(const Record& record, const FieldNames&) override {
        calls.push_back("observe:" + joined(record));
        observed.push_back(record);
    }
    void reset() override {}

    static std::string joined(const Record& record) {
        std::string text;
        for (std::size_t i = 0; i < record.size(); ++i) text += (i ? "|" : "") + record[i];
        return text;
    }

    std::vector<std::string> calls;
    std::vector<Record> processed;
    std::vector<Record> observed;
};

class ParseChunkTest : public ::testing::Test {
protected:
    ParseChunkTest() {
        m_source.setRegexp("^([a-z]+)$");
        m_source.setFields({"word"});
        m_source.attach(m_listener);
    }
    ~ParseChunkTest() override { m_source.detach(m_listener); }

    test::TempDir m_dir;
    ConfigStore m_store{m_dir.path() / "store.db"};
    test::RecordingSink m_sink;
    DataSource m_source{"web", m_store, m_sink};
    SourceFeed m_feed{m_source};  // the reader's side, driven by the tests
    RecordingListener m_listener;
};

TEST_F(ParseChunkTest, LongLinesArriveWholeUpToOneMegabyteAndAreCutThere) {
    const std::string line(30000, 'x');
    for (std::size_t at = 0; at < line.size(); at += 8191)
        m_feed.parseChunk(line.substr(at, 8191));
    m_feed.parseChunk("\n");
    ASSERT_EQ(m_listener.processed.size(), 1u);
    EXPECT_EQ(m_listener.processed[0][0], line);

    // Input without line ends (a binary file, say) cannot make the source hold it all.
    const std::string chunk(8191, 'z');
    for (int i = 0; i < 200; ++i) m_feed.parseChunk(chunk);  // 1.6 MB
    ASSERT_EQ(m_listener.processed.size(), 2u);
    EXPECT_GT(m_listener.processed[1][0].size(), 1u << 20);
    EXPECT_LT(m_feed.pending().size(), 1u << 20);
}

// Detaches itself on its first record, as a closing monitor window would.
class DetachingListener : public RecordingListener {
public:
    explicit DetachingListener(DataSource& source) : m_source(source) {}
    void observeRecord(const Record& record, const FieldNames& names) override {
        RecordingListener::observeRecord(record, names);
        m_source.detach(*this);
    }

private:
    DataSource& m_source;
};

TEST_F(ParseChunkTest, ListenersHearEachRecordOnceObservedBeforeProcessedWithParseErrors) {
    DetachingListener leaving(m_source);
    RecordingListener second;
    m_source.detach(m_listener);
    m_source.attach(leaving);
    m_source.attach(m_listener);
    m_source.attach(second);
    m_source.attach(second);  // once only
    EXPECT_EQ(m_source.listenerCount(), 3u);
    m_feed.parseChunk("123\nok\n");
    EXPECT_EQ(leaving.observed.size(), 1u);
    EXPECT_EQ(m_listener.calls,
              (std::vector<std::string>{"observe:Parse Error:|123", "observe:ok", "process:ok"}));
    EXPECT_EQ(second.calls, m_listener.calls);
    EXPECT_EQ(m_sink.lines(), (Values{"web|Parse Error: 123"}));
    m_source.detach(second);
}

TEST_F(ParseChunkTest, WrongValueCountBecomesFieldQuantityError) {
    m_source.setRegexp("([0-9]+)-(x)?");
    m_source.setFields({"number", "mark"});
    m_feed.parseChunk("12-\n12-x\n");
    EXPECT_EQ(
        m_listener.observed,
        (std::vector<Record>{{"Error:Field quantity doesn't not match to RegExp"}, {"12", "x"}}));
    EXPECT_EQ(m_listener.processed, (std::vector<Record>{{"12", "x"}}));
    EXPECT_EQ(m_sink.lines(), (Values{"web|Error:Field quantity doesn't not match to RegExp"}));

    // The reader's counts: what arrived, the complete lines, the lines that gave no record.
    m_feed.parseChunk("none\n\n1");
    const SourceCounters counters = m_source.counters();
    EXPECT_EQ(counters.bytesRead, 16u);
    EXPECT_EQ(counters.linesRead, 3u);  // the incomplete last line is not read yet
    EXPECT_EQ(counters.errorRecords, 2u);
    EXPECT_GT(counters.lastRecordTime, 0);
}

TEST_F(ParseChunkTest, DuplicateLogHoldsAcceptedRecordsOnly) {
    const std::string backup = m_dir.file("duplicate.log");
    m_source.setBackup(backup);
    m_source.setRegexp("^([0-9]+) ([0-9]+)?");
    m_source.setFields({"a", "b"});
    m_feed.parseChunk("1 2\nnot a record\n3 \n4 5\n");
    // The line "3 " gives one value for two fields: an error, and not written, since a
    // replay would otherwise take it for data whenever a source has a single field.
    const std::string text = test::readFile(backup);
    EXPECT_EQ(text, "1\t2\t\r\n4\t5\t\r\n");
    EXPECT_EQ(splitList(text.substr(0, text.find('\n')), m_store.listSeparator()),
              (Values{"1", "2"}));

    // A value holding the separator is written escaped, as the store's lists are.
    m_source.setRegexp("^(.*) (.*)$");
    m_feed.parseChunk("a\tb c\n");
    EXPECT_EQ(test::readFile(backup).substr(text.size()),
              joinEscapedList({"a\tb", "c"}, m_store.listSeparator()) + "\r\n");
}

TEST_F(ParseChunkTest, FailedDuplicateWriteIsReportedOnceAndKeptUntilItSucceeds) {
    // A folder where the log should be: every open fails until it goes.
    const std::string backup = m_dir.file("duplicate.log");
    std::filesystem::create_directory(backup);
    m_source.setBackup(backup);
    m_feed.parseChunk("a\nb\n");
    m_feed.parseChunk("c\n");
    EXPECT_EQ(m_listener.processed.size(), 3u);
    ASSERT_EQ(m_sink.lines().size(), 1u) << "one report for the whole failure";
    const std::string report = m_sink.lines()[0];
    EXPECT_EQ(report.rfind("web|Cannot write the duplicate log " + backup, 0), 0u) << report;
    ASSERT_EQ(m_listener.observed.size(), 4u);
    EXPECT_EQ(m_listener.observed[2], (Record{report.substr(report.find('|') + 1)}));

    // A rebuild meanwhile still sees every record delivered.
    RecordingListener rebuilt;
    EXPECT_EQ(m_source.replayBackup(&rebuilt, 0), 1);
    EXPECT_EQ(rebuilt.processed, (std::vector<Record>{{"a"}, {"b"}, {"c"}}));

    // Tried again at each pass of the reader, also when nothing new came.
    std::filesystem::remove(backup);
    m_feed.flushDuplicates();
    EXPECT_EQ(test::readFile(backup), "a\t\r\nb\t\r\nc\t\r\n");
    m_feed.parseChunk("d\ne\n");
    EXPECT_EQ(test::readFile(backup), "a\t\r\nb\t\r\nc\t\r\nd\t\r\ne\t\r\n") << "each record once";
    ASSERT_EQ(m_sink.lines().size(), 2u);
    EXPECT_EQ(m_sink.lines()[1], "web|The duplicate log " + backup + " is written again");
    EXPECT_EQ(m_listener.observed.size(), 6u);  // the recovery is no error record

    // A log that is no regular file is written all the same.
    m_source.setBackup("/dev/null");
    m_feed.parseChunk("f\n");
    EXPECT_EQ(m_sink.lines().size(), 2u);
    EXPECT_FALSE(m_source.duplicateExtent()) << "nothing to cut back there";
}

TEST_F(ParseChunkTest, ExpressionThatDoesNotCompileMakesEveryLineAParseError) {
    EXPECT_EQ(m_source.setRegexp("(unclosed"), 0);
    EXPECT_EQ(m_source.regexp(), "(unclosed");
    m_feed.parseChunk("abc\n");
    EXPECT_EQ(m_listener.observed, (std::vector<Record>{{"Parse Error:", "abc"}}));
    EXPECT_TRUE(m_listener.processed.empty());

    // A stored expression too deeply nested to compile loads like any other that fails.
    const std::string deep = std::string(10000, '(') + "x" + std::string(10000, ')');
    ConfigKey key(m_store);
    (void)key.open(sourceKeyPath("deep"));
    key.setString("regexp", deep);
    key.setString("fields", "a,");
    DataSource loaded("Temp", m_store, m_sink);
    loaded.load("deep");
    EXPECT_EQ(loaded.regexp(), deep);
    RecordingListener listener;
    loaded.attach(listener);
    SourceFeed(loaded).parseChunk("x\n");
    loaded.detach(listener);
    EXPECT_EQ(listener.observed, (std::vector<Record>{{"Parse Error:", "x"}}));
    EXPECT_EQ(m_sink.lines().back(), "deep|Parse Error: x");
}

TEST_F(ParseChunkTest, LinesReadBeforeAResetAreNotDeliveredAfterIt) {
    m_feed.setInputBase({0, 1, m_source.deliveredPosition().generation, std::nullopt});
    m_feed.parseChunk("one\n");
    m_source.reset();  // while a reader still parses what it read before
    m_feed.parseChunk("two\n");
    EXPECT_EQ(m_listener.processed, (std::vector<Record>{{"one"}}));
}

TEST_F(ParseChunkTest, NewExpressionAppliesFromTheNextChunk) {
    m_feed.parseChunk("abc\n12");
    m_source.setRegexp("^([0-9]+)$");
    m_feed.parseChunk("3\n");
    EXPECT_EQ(m_listener.processed, (std::vector<Record>{{"abc"}, {"123"}}));
}

// Asks the source to stop from inside its delivery of the `at`-th record.
class StoppingListener : public RecordingListener {
public:
    StoppingListener(DataSource& source, std::size_t at) : m_source(source), m_at(at) {}
    void processRecord(const Record& record, const FieldNames& names) override {
        RecordingListener::processRecord(record, names);
        if (processed.size() == m_at) SourceFeed(m_source).requestStop();
    }

private:
    DataSource& m_source;
    std::size_t m_at;
};

// Wherever the input is cut into two chunks and whichever record the stop comes at, what
// follows that record's line stays pending in order (the line being completed, lines of the
// chunk not yet delivered, the incomplete rest), and the next reader delivers it once.
TEST(ParseChunkStop, StopKeepsEverythingAfterTheLastDeliveredLinePending) {
    test::TempDir dir;
    ConfigStore store(dir.path() / "store.db");
    const std::string input = "one\ntwo\r\n\nthree\nfour\nfive\nsix";
    // Line ends before the first pending line may have been taken already: they vanish anyway.
    const std::vector<std::string> rests = {"two\r\n\nthree\nfour\nfive\nsix",
                                            "three\nfour\nfive\nsix", "four\nfive\nsix",
                                            "five\nsix", "six"};
    const std::vector<Record> all = {{"one"}, {"two"}, {"three"}, {"four"}, {"five"}, {"six"}};
    for (std::size_t cut = 0; cut <= input.size(); ++cut) {
        for (std::size_t at = 1; at <= rests.size(); ++at) {
            SCOPED_TRACE("cut " + std::to_string(cut) + ", stop at " + std::to_string(at));
            DataSource source("s", store);
            source.setRegexp("^([a-z]+)$");
            source.setFields({"word"});
            StoppingListener stopper(source, at);
            source.attach(stopper);
            SourceFeed feed(source);
            feed.parseChunk(input.substr(0, cut));
            feed.parseChunk(input.substr(cut));
            EXPECT_EQ(stopper.processed, std::vector<Record>(all.begin(), all.begin() + at));
            const std::string& pending = feed.pending();
            EXPECT_EQ(pending.substr(pending.find_first_not_of("\r\n")), rests[at - 1]);

            feed.clearStopping();
            feed.parseChunk("\n");
            EXPECT_EQ(stopper.processed, all);
            EXPECT_TRUE(feed.pending().empty());
            source.detach(stopper);
        }
    }
}

// Keeps references to the records of a delivery and copies them when it ends, as a diagram's
// recent records do; may detach itself after some records.
class ReferenceKeepingListener : public RecordingListener {
public:
    explicit ReferenceKeepingListener(DataSource& source) : m_source(source) {}
    void processDelivered(RecordView record, const FieldNames&) override {
        pending.push_back(record);
        if (pending.size() == leaveAfter) m_source.detach(*this);
    }
    void deliveryEnded() override {
        for (const RecordView record : pending) kept.push_back(toRecord(record));
        pending.clear();
    }
    std::vector<RecordView> pending;
    std::vector<Record> kept;
    std::size_t leaveAfter = 0;

private:
    DataSource& m_source;
};

TEST_F(ParseChunkTest, DeliveredRecordsStayValidUntilTheDeliveryEndsOrTheListenerLeaves) {
    ReferenceKeepingListener keeping(m_source);
    m_source.attach(keeping);
    m_feed.parseChunk("a\nb\n");
    EXPECT_TRUE(keeping.pending.empty());
    m_feed.parseChunk("c\n");  // reuses the room of the first chunk's records
    EXPECT_EQ(keeping.kept, (std::vector<Record>{{"a"}, {"b"}, {"c"}}));

    keeping.kept.clear();
    keeping.leaveAfter = 2;
    m_feed.parseChunk("d\ne\nf\n");
    EXPECT_FALSE(m_source.hasListener(keeping));
    EXPECT_EQ(keeping.kept, (std::vector<Record>{{"d"}, {"e"}}));
    EXPECT_EQ(m_listener.processed.size(), 6u);
}

// CR, LF and CR LF all end a line, empty lines vanish, and a line cut between chunks waits
// for its end, wherever the cut is.
TEST_F(ParseChunkTest, CuttingTheInputAnywhereGivesTheSameRecords) {
    const std::string input = "alpha\r\nbeta\n\n42\rgamma\r\n\r\ndelta\rx\n";
    m_feed.parseChunk(input);
    const std::vector<std::string> whole = m_listener.calls;
    EXPECT_EQ(m_listener.processed,
              (std::vector<Record>{{"alpha"}, {"beta"}, {"gamma"}, {"delta"}, {"x"}}));
    ASSERT_EQ(whole.size(), 11u);  // five records observed and processed, one parse error
    for (std::size_t cut = 0; cut <= input.size(); ++cut) {
        SCOPED_TRACE(cut);
        m_listener.calls.clear();
        m_feed.parseChunk(input.substr(0, cut));
        ASSERT_LE(m_listener.calls.size(), whole.size());
        EXPECT_TRUE(std::equal(m_listener.calls.begin(), m_listener.calls.end(), whole.begin()))
            << "no record of a part of a line";
        m_feed.parseChunk(input.substr(cut));
        EXPECT_EQ(m_listener.calls, whole);
        EXPECT_TRUE(m_feed.pending().empty());
    }
}

}  // namespace
}  // namespace tg
