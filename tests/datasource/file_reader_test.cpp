#include "datasource/file_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "datasource/data_source.h"
#include "datasource/source_feed.h"
#include "regex/reg_exp.h"
#include "support/recording_listener.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

namespace tg {
namespace {

using Lines = std::vector<std::string>;

void append(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out << text;
    ASSERT_TRUE(out.flush()) << path;
}

std::uint64_t inodeOf(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return 0;
    return status.st_ino;
}

// "line-0000\n", "line-0001\n", ...: ten bytes each.
std::string numberedLines(int first, int count) {
    std::string text;
    char line[32];
    for (int i = first; i < first + count; ++i) {
        std::snprintf(line, sizeof line, "line-%04d\n", i);
        text += line;
    }
    return text;
}

Lines numbered(int first, int count) {
    Lines lines;
    const std::string text = numberedLines(first, count);
    for (std::size_t at = 0; at < text.size(); at += 10) lines.push_back(text.substr(at, 9));
    return lines;
}

Lines firstValues(const std::vector<Record>& records) {
    Lines values;
    for (const auto& record : records) values.push_back(record.empty() ? "" : record[0]);
    return values;
}

Lines concat(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The source's own reader has nothing to do (type None): the tests drive a FileReader
// themselves, on their own thread or on one they own.
class FileReaderTest : public ::testing::Test {
protected:
    FileReaderTest() {
        m_source.setType(SourceType::None);
        m_source.setConnect(m_path);
        m_source.setRegexp("(.+)");
        m_source.setFields({"line"});
        m_source.attach(m_listener);
    }
    ~FileReaderTest() override { m_source.detach(m_listener); }

    Lines lines() const { return firstValues(m_listener.processed()); }
    ReadPosition position() const { return m_source.readPosition(); }

    test::TempDir m_dir;
    const std::string m_path = m_dir.file("app.log");
    ConfigStore m_store{m_dir.path() / "store.db"};
    test::RecordingSink m_sink;
    test::RecordingListener m_listener;
    DataSource m_source{"f", m_store, m_sink};
    SourceFeed m_feed{m_source};  // the reader's side, driven by the tests
};

// Runs FileReader::run on its own thread until the test ends or stops it.
class RunningReader {
public:
    explicit RunningReader(DataSource& source)
        : m_source(source), m_thread([&source] { FileReader(source).run(); }) {}
    ~RunningReader() { stop(); }
    void stop() {
        if (!m_thread.joinable()) return;
        SourceFeed(m_source).requestStop();
        m_thread.join();
    }

private:
    DataSource& m_source;
    std::thread m_thread;
};

TEST_F(FileReaderTest, GrowthIsReadOnceAndIncompleteLastLineWaitsForItsEnd) {
    append(m_path, numberedLines(0, 10));  // 100 bytes
    FileReader reader(m_source);
    reader.readNew();
    EXPECT_EQ(lines(), numbered(0, 10));
    EXPECT_EQ(position().offset, 100u);
    EXPECT_EQ(position().fileId, inodeOf(m_path));

    append(m_path, numberedLines(10, 5));  // 150 bytes
    reader.readNew();
    reader.readNew();
    EXPECT_EQ(lines(), numbered(0, 15));
    EXPECT_EQ(position().offset, 150u);

    append(m_path, "partial");
    reader.readNew();
    EXPECT_EQ(lines().size(), 15u);
    EXPECT_EQ(m_feed.pending(), "partial");
    EXPECT_EQ(position().offset, 150u) << "the stored position must leave out the pending line";

    // A reader starting afresh reads the incomplete line again, whole.
    m_feed.clearPending();
    FileReader fresh(m_source);
    fresh.readNew();
    EXPECT_EQ(m_feed.pending(), "partial");
    append(m_path, " end\n");
    fresh.readNew();
    EXPECT_EQ(lines(), concat(numbered(0, 15), {"partial end"}));
    EXPECT_EQ(position().offset, std::filesystem::file_size(m_path));
}

TEST_F(FileReaderTest, RenamedFileIsFinishedBeforeTheNewOneIsRead) {
    append(m_path, "1\n2\n3-part");
    FileReader reader(m_source);
    reader.readNew();
    EXPECT_EQ(lines(), (Lines{"1", "2"}));

    // The writer goes on appending to the renamed file, and the new one appears, all before
    // the next pass.
    std::filesystem::rename(m_path, m_path + ".1");
    append(m_path + ".1", "ial\n4\n5-tail");
    append(m_path, "6\n7\n");
    reader.readNew();
    reader.readNew();
    EXPECT_EQ(lines(), (Lines{"1", "2", "3-partial", "4", "5-tail", "6", "7"}));
    EXPECT_EQ(position().offset, 4u);
    EXPECT_EQ(position().fileId, inodeOf(m_path));

    // A pass in between finds no file at the path and goes on with the renamed one.
    std::filesystem::rename(m_path, m_path + ".1");
    append(m_path + ".1", "8\n9");
    reader.readNew();
    append(m_path + ".1", "\n10\n");
    reader.readNew();
    append(m_path, "11\n");
    reader.readNew();
    EXPECT_EQ(lines(),
              (Lines{"1", "2", "3-partial", "4", "5-tail", "6", "7", "8", "9", "10", "11"}));
}

TEST_F(FileReaderTest, TruncatedOrRecreatedFileRestartsAtZero) {
    // Deleted and created again, longer than the old offset: read from there, it would come
    // out cut.
    append(m_path, "a\nb\n");
    FileReader reader(m_source);
    reader.readNew();
    std::filesystem::remove(m_path);
    reader.readNew();
    append(m_path, "c1\nc2\nc3\n");
    reader.readNew();
    Lines expected{"a", "b", "c1", "c2", "c3"};
    EXPECT_EQ(lines(), expected);
    EXPECT_EQ(position().offset, 9u);

    // Copy and truncate: the new lines are shorter than the old offset, and the incomplete
    // line of the old content counts as a line.
    append(m_path, "tail");
    reader.readNew();
    std::filesystem::resize_file(m_path, 0);
    append(m_path, "x\ny\n");
    reader.readNew();
    expected = concat(expected, {"tail", "x", "y"});
    EXPECT_EQ(lines(), expected);
    EXPECT_EQ(position().offset, 4u);

    // Cut to a shorter size: the rest is read again from the start.
    append(m_path, "z\n");
    reader.readNew();
    std::filesystem::resize_file(m_path, 2);
    reader.readNew();
    expected = concat(expected, {"z", "x"});
    EXPECT_EQ(lines(), expected);
    EXPECT_EQ(position().offset, 2u);

    // Truncated and written again past the position between two passes: the file is no
    // shorter, but what lies before the position is not what was read.
    append(m_path, numberedLines(10, 100));
    reader.readNew();
    std::filesystem::resize_file(m_path, 0);
    append(m_path, numberedLines(500, 150));
    reader.readNew();
    EXPECT_EQ(lines(), concat(expected, concat(numbered(10, 100), numbered(500, 150))));
    EXPECT_EQ(position().offset, 1500u);
}

TEST_F(FileReaderTest, MissingOrIrregularFileGivesNothingUntilAFileAppears) {
    FileReader reader(m_source);
    reader.readNew();
    // A folder, and a FIFO that no writer opens (a blocking open would hang the reader).
    std::filesystem::create_directory(m_path);
    reader.readNew();
    std::filesystem::remove(m_path);
    ASSERT_EQ(::mkfifo(m_path.c_str(), 0600), 0);
    reader.readNew();
    EXPECT_TRUE(m_listener.observed().empty());
    EXPECT_TRUE(m_sink.lines().empty());
    EXPECT_EQ(position().offset, 0u);

    std::filesystem::remove(m_path);
    append(m_path, "here\n");
    reader.readNew();
    EXPECT_EQ(lines(), (Lines{"here"}));
    EXPECT_EQ(m_listener.observed().size(), 1u);
}

// Asks the source to stop when the given record arrives.
class StoppingListener : public test::RecordingListener {
public:
    StoppingListener(DataSource& source, std::string at) : m_source(source), m_at(std::move(at)) {}
    void processRecord(const Record& record, const FieldNames& names) override {
        RecordingListener::processRecord(record, names);
        if (record[0] == m_at) SourceFeed(m_source).requestStop();
    }

private:
    DataSource& m_source;
    std::string m_at;
};

TEST_F(FileReaderTest, StopDuringAPassLeavesTheRestForTheNextReader) {
    m_source.detach(m_listener);
    StoppingListener stopper(m_source, "line-0002");
    m_source.attach(stopper);
    append(m_path, numberedLines(0, 9000));  // 90000 bytes: two pieces

    FileReader(m_source).readNew();
    EXPECT_EQ(firstValues(stopper.processed()), numbered(0, 3));
    // Only the rest of the first piece is held; the piece read after the stop is not taken.
    EXPECT_EQ(m_feed.pending().size(), 65536u - 30u);
    EXPECT_EQ(position().offset, 30u);

    // What the next reader starts with after a stop.
    m_feed.clearStopping();
    m_feed.clearPending();
    FileReader(m_source).readNew();
    EXPECT_EQ(firstValues(stopper.processed()), numbered(0, 9000));
    EXPECT_EQ(position().offset, 90000u);
    m_source.detach(stopper);
}

// The source's own reader delivers on a second thread while it splits the next piece: a stop
// there must still leave the position just after the last delivered line.
TEST_F(FileReaderTest, StopInTheSourcesOwnReaderLosesAndRepeatsNoLine) {
    m_source.detach(m_listener);
    m_source.setType(SourceType::File);
    append(m_path, numberedLines(0, 2000));
    StoppingListener stopper(m_source, "line-0002");
    m_source.attach(stopper);
    ASSERT_TRUE(stopper.waitForProcessed(3));
    m_source.detach(stopper);  // joins the reader, which ended at the stop
    EXPECT_EQ(firstValues(stopper.processed()), numbered(0, 3));
    EXPECT_EQ(position().offset, 30u);

    m_source.attach(m_listener);
    ASSERT_TRUE(m_listener.waitForProcessed(1997));
    m_source.detach(m_listener);
    EXPECT_EQ(lines(), numbered(3, 1997));
    EXPECT_EQ(position().offset, 20000u);
}

// Notes which thread delivered each record and where the source's delivered input ended then,
// and costs `cost` for each record in [costlyFrom, costlyTo).
class PacedListener : public test::RecordingListener {
public:
    PacedListener(DataSource& source, int costlyFrom, int costlyTo,
                  std::chrono::steady_clock::duration cost)
        : m_source(source), m_costlyFrom(costlyFrom), m_costlyTo(costlyTo), m_cost(cost) {}
    void processRecord(const Record& record, const FieldNames& names) override {
        const int index = static_cast<int>(delivered.size());
        delivered.emplace_back(std::this_thread::get_id(), m_source.deliveredPosition().offset);
        if (index >= m_costlyFrom && index < m_costlyTo) {
            const auto until = std::chrono::steady_clock::now() + m_cost;
            while (std::chrono::steady_clock::now() < until) {
            }
        }
        RecordingListener::processRecord(record, names);
    }
    // Only the delivering thread writes it; read once the reader has been joined.
    std::vector<std::pair<std::thread::id, std::uint64_t>> delivered;

private:
    DataSource& m_source;
    int m_costlyFrom;
    int m_costlyTo;
    std::chrono::steady_clock::duration m_cost;
};

// A reader delivers itself while delivering costs little beside splitting, and hands over
// to its delivery thread while it costs more: every record still arrives once, in order, with
// the position just after its own line, whichever way it came and across every change.
TEST_F(FileReaderTest, SwitchingBetweenDeliveringOnTheReaderAndOnItsThreadKeepsEveryLineOnce) {
    m_source.detach(m_listener);
    m_source.setType(SourceType::File);
    // Lines that are slow to split: the first alternative backtracks over the whole padding
    // before the second matches it.
    const char* const expression = "^(line-[0-9]+) (a*a*b|a*)$";
    m_source.setRegexp(expression);
    m_source.setFields({"line", "end"});
    const std::string padding(800, 'a');
    // Each phase is longer than the three windows a change needs, with one to spare; the
    // last also than those the delivery thread takes to hand back the splitting it took.
    constexpr int kCheapLines = 4000;
    constexpr int kCostlyLines = 4000;
    constexpr int kLines = kCheapLines + kCostlyLines + 10000;
    std::string text;
    Lines expected;
    char number[32];
    for (int i = 0; i < kLines; ++i) {
        std::snprintf(number, sizeof number, "line-%05d", i);
        expected.push_back(number);
        text += std::string(number) + " " + padding + "\n";
    }
    const std::uint64_t lineLength = text.size() / kLines;
    append(m_path, text);

    // The middle phase costs far more to deliver than a line costs to split.
    RegExp pattern;
    ASSERT_EQ(pattern.compile(expression), 0);
    Record values;
    const std::string line = expected[0] + " " + padding;
    auto split = std::chrono::steady_clock::duration::max();
    for (int i = 0; i < 20; ++i) {
        const auto began = std::chrono::steady_clock::now();
        ASSERT_EQ(pattern.split(line, values), 0);
        split = std::min(split, std::chrono::steady_clock::now() - began);
    }
    PacedListener listener(m_source, kCheapLines, kCheapLines + kCostlyLines,
                           3 * split + std::chrono::microseconds(20));
    m_source.attach(listener);
    ASSERT_TRUE(listener.waitForProcessed(kLines, std::chrono::seconds(120)));
    m_source.detach(listener);  // joins the reader

    EXPECT_EQ(firstValues(listener.processed()), expected);
    EXPECT_EQ(position().offset, kLines * lineLength);
    ASSERT_EQ(listener.delivered.size(), static_cast<std::size_t>(kLines));
    int changes = 0;
    for (int i = 0; i < kLines; ++i) {
        EXPECT_EQ(listener.delivered[i].second, (i + 1) * lineLength) << expected[i];
        if (i > 0 && listener.delivered[i].first != listener.delivered[i - 1].first) ++changes;
    }
    // From the delivery thread to the reader, back while lines are costly, and to the reader
    // again. The reader decides by the times it measures, so a busy machine may keep one way
    // throughout: then the checks above held without a change, and the test says so rather
    // than fail on the machine's timing.
    if (changes < 3) {
        GTEST_SKIP() << "delivery changed hands " << changes << " times (a line took "
                     << std::chrono::duration<double, std::micro>(split).count()
                     << " us to split)";
    }
}

TEST_F(FileReaderTest, PositionBeyondFourGigabytesIsKept) {
    constexpr std::uint64_t kStart = 5ull << 30;
    append(m_path, "");
    std::filesystem::resize_file(m_path, kStart);  // sparse: no disk space is taken
    append(m_path, "big-1\nbig-2\n");
    ASSERT_TRUE(m_feed.updateReadPosition(
        {kStart, inodeOf(m_path), m_source.readPosition().generation, {}}));

    FileReader reader(m_source);
    reader.readNew();
    EXPECT_EQ(lines(), (Lines{"big-1", "big-2"}));
    EXPECT_EQ(position().offset, kStart + 12);
}

// What a reset does to a FILE source: a new generation, read from 0. The sources here are of
// type None, so that no reader of their own runs, and their reset keeps the offset.
void resetAsFileSource(DataSource& source) {
    source.reset();
    ASSERT_TRUE(
        SourceFeed(source).updateReadPosition({0, 0, source.readPosition().generation, {}}));
}

// Resets the source when the given record arrives, once.
class ResettingListener : public test::RecordingListener {
public:
    ResettingListener(DataSource& source, std::string at) : m_source(source), m_at(std::move(at)) {}
    void processRecord(const Record& record, const FieldNames& names) override {
        RecordingListener::processRecord(record, names);
        if (record[0] == m_at && !std::exchange(m_done, true)) resetAsFileSource(m_source);
    }

private:
    DataSource& m_source;
    std::string m_at;
    bool m_done = false;
};

TEST_F(FileReaderTest, ResetStartsTheFileAgainFromZero) {
    m_source.detach(m_listener);
    ResettingListener resetter(m_source, "c");
    m_source.attach(resetter);
    append(m_path, "a\nb\n");
    FileReader reader(m_source);
    reader.readNew();
    resetAsFileSource(m_source);  // between two passes
    reader.readNew();
    EXPECT_EQ(firstValues(resetter.processed()), (Lines{"a", "b", "a", "b"}));

    // During a pass: what was read before the reset must not be recorded as read.
    append(m_path, "c\n");
    reader.readNew();
    reader.readNew();
    EXPECT_EQ(firstValues(resetter.processed()), (Lines{"a", "b", "a", "b", "c", "a", "b", "c"}));
    EXPECT_EQ(resetter.resets(), 2);
    EXPECT_EQ(position().offset, 6u);
    m_source.detach(resetter);
}

// Changes the working folder for one test.
class WorkingFolder {
public:
    explicit WorkingFolder(const std::filesystem::path& folder)
        : m_previous(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~WorkingFolder() {
        std::error_code ignored;
        std::filesystem::current_path(m_previous, ignored);
    }

private:
    std::filesystem::path m_previous;
};

// A path without folder names a file in the working folder, whose changes are watched there.
TEST_F(FileReaderTest, RunFollowsGrowthRotationTruncationAndRecreation) {
    WorkingFolder folder(m_dir.path());
    m_source.setConnect("app.log");
    append(m_path, "1\n2\n");
    RunningReader running(m_source);
    ASSERT_TRUE(m_listener.waitForProcessed(2));

    std::filesystem::rename(m_path, m_path + ".1");
    append(m_path + ".1", "3\n");
    append(m_path, "4\n5\n");
    ASSERT_TRUE(m_listener.waitForProcessed(5));

    std::filesystem::resize_file(m_path, 0);
    append(m_path, "6\n");  // shorter than what was read
    ASSERT_TRUE(m_listener.waitForProcessed(6));

    std::filesystem::remove(m_path);
    append(m_path, "7\n8\n9\n");
    ASSERT_TRUE(m_listener.waitForProcessed(9));
    running.stop();
    EXPECT_EQ(lines(), (Lines{"1", "2", "3", "4", "5", "6", "7", "8", "9"}));
}

}  // namespace
}  // namespace tg
