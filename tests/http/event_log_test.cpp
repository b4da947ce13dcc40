#include "http/event_log.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/unique_fd.h"
#include "support/temp_dir.h"

namespace tg {
namespace {

class RecordingMessages final : public UserMessages {
public:
    void show(std::string_view text, MessageIcon) override {
        std::lock_guard lock(m_lock);
        m_shown.emplace_back(text);
    }
    std::vector<std::string> shown() {
        std::lock_guard lock(m_lock);
        return m_shown;
    }

private:
    std::mutex m_lock;
    std::vector<std::string> m_shown;
};

std::tm fixedTime() {
    std::tm when{};
    when.tm_year = 2004 - 1900;
    when.tm_mon = 7;
    when.tm_mday = 6;
    when.tm_hour = 7;
    when.tm_min = 5;
    when.tm_sec = 9;
    return when;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

class EventLogTest : public ::testing::Test {
protected:
    test::TempDir m_dir;
    ConfigStore m_store{m_dir.file("store.db")};
    HttpSettings m_settings{m_store};
    RecordingMessages m_messages;
    std::string m_path = m_dir.file("event.log");

    EventLog::Os fixedOs() {
        EventLog::Os os = EventLog::systemOs();
        os.localNow = fixedTime;
        return os;
    }
};

TEST_F(EventLogTest, LineCarriesLocalTimeAndBothTextsAndAlwaysEndsInOneLineFeed) {
    EventLog log(m_settings, m_messages, fixedOs());
    m_settings.setLogPath(m_path);
    log.writeLog("/srv/htdocs/index.html", "");  // a request without credentials
    log.writeLog("Web", "Parse Error: a\r\nb");
    const std::string longName(5000, 'u');
    log.writeLog("/srv/htdocs/x.html", longName);

    EXPECT_EQ(readFile(m_path),
              "2004/08/06\t07:05:09\t/srv/htdocs/index.html\t\n"
              "2004/08/06\t07:05:09\tWeb\tParse Error: a  b\n"
              "2004/08/06\t07:05:09\t/srv/htdocs/x.html\t" +
                  longName + "\n");
    EXPECT_TRUE(m_messages.shown().empty());
}

TEST_F(EventLogTest, NothingIsWrittenWhenOffWithoutPathOrWithAnUnusablePath) {
    EventLog log(m_settings, m_messages, fixedOs());
    log.writeLog("Web", "no path stored");
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.path())) {
        EXPECT_EQ(entry.path().filename().string().rfind("store.db", 0), 0u) << entry.path();
    }

    m_settings.setLogPath(m_path);
    m_settings.setWebLogEnabled(false);
    log.writeLog("Web", "off");
    EXPECT_FALSE(std::filesystem::exists(m_path));

    m_settings.setWebLogEnabled(true);
    const std::string fifo = m_dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& bad : {m_dir.path().string(), m_dir.file("missing/event.log"), fifo}) {
        SCOPED_TRACE(bad);
        m_settings.setLogPath(bad);
        log.writeLog("Web", "dropped");  // neither fails nor waits
    }
    EXPECT_TRUE(m_messages.shown().empty());
}

TEST_F(EventLogTest, FileAtTheLimitIsKeptAndOneLineMoreCutsWholeOldLinesToThreeQuarters) {
    // MaxLogSize is absent: the limit is one megabyte.
    EventLog log(m_settings, m_messages, fixedOs());
    m_settings.setLogPath(m_path);
    const std::string line = EventLog::formatLine(fixedTime(), "Web", "newest");
    const std::size_t limit = 1048576;
    std::string old;
    while (old.size() + 100 <= limit - line.size()) old += std::string(99, 'o') + "\n";
    const std::string firstLine = std::string(limit - line.size() - old.size() - 1, 'f') + "\n";
    ASSERT_GT(firstLine.size(), line.size());
    writeFile(m_path, firstLine + old);

    log.writeLog("Web", "newest");
    EXPECT_EQ(std::filesystem::file_size(m_path), limit);

    // One line more: the oldest whole lines go, down to three quarters of the limit and not
    // one line further, so that the next quarter of the limit is written without a rewrite.
    log.writeLog("Web", "newest");
    const std::string all = firstLine + old + line + line;
    const std::string kept = readFile(m_path);
    ASSERT_LE(kept.size(), limit / 4 * 3);
    EXPECT_GT(kept.size() + 100, limit / 4 * 3);
    EXPECT_EQ(all.substr(all.size() - kept.size()), kept);
    EXPECT_EQ(all[all.size() - kept.size() - 1], '\n');
    const std::size_t before = std::filesystem::file_size(m_path);
    log.writeLog("Web", "newest");
    EXPECT_EQ(std::filesystem::file_size(m_path), before + line.size());
    EXPECT_TRUE(m_messages.shown().empty());
}

TEST_F(EventLogTest, OverlongLineIsCutAndNeverWipesTheLinesBeforeIt) {
    EventLog log(m_settings, m_messages, fixedOs());
    m_settings.setLogPath(m_path);
    for (int i = 0; i < 50; ++i) log.writeLog("Web", "line " + std::to_string(i));
    const std::string before = readFile(m_path);
    // Two megabytes of a user name, with a character of two bytes across the cut.
    std::string huge(EventLog::kMaxLineBytes - 41, 'u');
    while (huge.size() < 2 * 1048576) huge += "\xc3\xa9";
    log.writeLog("/srv/htdocs/x.html", huge);

    const std::string after = readFile(m_path);
    ASSERT_EQ(after.substr(0, before.size()), before);  // all 50 lines are still there
    const std::string last = after.substr(before.size());
    EXPECT_LE(last.size(), EventLog::kMaxLineBytes);
    EXPECT_GT(last.size(), EventLog::kMaxLineBytes - 4);
    EXPECT_EQ(last.find('\n'), last.size() - 1);
    EXPECT_EQ(last.rfind("2004/08/06\t07:05:09\t/srv/htdocs/x.html\tuuuu", 0), 0u);
    EXPECT_EQ(last[last.size() - 2], 'u');  // the character on the cut is left out whole
}

TEST_F(EventLogTest, FailedMappingShowsItsMessageAndTheNextWriterTrims) {
    m_settings.setLogPath(m_path);
    m_settings.setMaxLogSize(1);
    writeFile(m_path, std::string(1048575, 'x') + "\n");
    EventLog::Os failing = fixedOs();
    failing.mapFile = [](int, std::size_t) { return MAP_FAILED; };
    EventLog log(m_settings, m_messages, failing);

    log.writeLog("Web", "kept");
    EXPECT_EQ(m_messages.shown(), std::vector<std::string>{"Unable to map view of a file"});
    const std::string line = EventLog::formatLine(fixedTime(), "Web", "kept");
    EXPECT_EQ(std::filesystem::file_size(m_path), 1048576 + line.size());

    EventLog working(m_settings, m_messages, fixedOs());
    working.writeLog("Web", "kept");
    EXPECT_EQ(readFile(m_path), line + line);
}

TEST_F(EventLogTest, LineIsLostWhileAnotherWriterHoldsTheFile) {
    EventLog log(m_settings, m_messages, fixedOs());
    m_settings.setLogPath(m_path);
    log.writeLog("Web", "first");
    const std::string before = readFile(m_path);

    UniqueFd holder(::open(m_path.c_str(), O_RDWR));
    ASSERT_TRUE(holder);
    ASSERT_EQ(::flock(holder.get(), LOCK_EX | LOCK_NB), 0);
    log.writeLog("Web", "lost");
    EXPECT_EQ(readFile(m_path), before);

    holder.reset();
    log.writeLog("Web", "third");
    EXPECT_EQ(readFile(m_path), before + EventLog::formatLine(fixedTime(), "Web", "third"));
}

TEST_F(EventLogTest, ThreadsLoseNoLineWhileThePathChanges) {
    EventLog log(m_settings, m_messages, fixedOs());
    const std::string pathA = m_dir.file("a.log");
    const std::string pathB = m_dir.file("b.log");
    m_settings.setLogPath(pathA);
    std::atomic<int> written{0};
    std::atomic<bool> flipping{true};
    auto writer = [&](const std::string& name) {
        for (int i = 0; flipping; ++i) {
            log.writeLog(name, std::to_string(i));
            ++written;
        }
    };
    std::thread one(writer, "one");
    std::thread two(writer, "two");
    // Each path change waits for a few lines, so that lines land in both files.
    for (int flip = 0; flip < 20; ++flip) {
        m_settings.setLogPath(flip % 2 == 0 ? pathB : pathA);
        const int target = written + 10;
        while (written < target) std::this_thread::yield();
    }
    flipping = false;
    one.join();
    two.join();

    const std::string a = readFile(pathA);
    const std::string b = readFile(pathB);
    EXPECT_FALSE(a.empty());
    EXPECT_FALSE(b.empty());
    std::istringstream lines(a + b);
    std::string text;
    int count = 0;
    while (std::getline(lines, text)) {
        ++count;
        EXPECT_TRUE(text.rfind("2004/08/06\t07:05:09\tone\t", 0) == 0 ||
                    text.rfind("2004/08/06\t07:05:09\ttwo\t", 0) == 0)
            << text;
    }
    EXPECT_EQ(count, written.load());
}

}  // namespace
}  // namespace tg
