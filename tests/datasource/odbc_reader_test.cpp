// The ODBC reader against the SQLite ODBC driver on a database file: no server needed.

#include "datasource/odbc/odbc_reader.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "datasource/data_source.h"
#include "datasource/odbc/connect_text.h"
#include "datasource/source_feed.h"
#include "support/odbc_drivers.h"
#include "support/recording_listener.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

namespace tg {
namespace {

TEST(OdbcConnectText, SplitsAtTheFirstMarkerAndHidesPasswords) {
    struct Row {
        const char* text;
        const char* connection;  // nullptr: no marker
        const char* query;
    };
    const Row rows[] = {
        {"DSN=a;SQL=\"select 1\"", "DSN=a", "select 1"},
        {"DSN=a;SQL=\"select \"x\";SQL=\"y\"", "DSN=a", "select "},
        {"DSN=a;SQL=\"select 1", "DSN=a", ""},  // no closing quote: an empty query
        {";SQL=\"\"", "", ""},
        {"DSN=a;SQL=select 1", nullptr, nullptr},  // the quote belongs to the marker
        {"DSN=a;sql=\"select 1\"", nullptr, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const auto parts = splitOdbcConnect(row.text);
        ASSERT_EQ(parts.has_value(), row.connection != nullptr);
        if (!parts) continue;
        EXPECT_EQ(parts->connection, row.connection);
        EXPECT_EQ(parts->query, row.query);
    }
    EXPECT_EQ(odbcUsageMessage(),
              "Connection string sintax error. Usage: \t\t\t\t\t\t  "
              "DSN=SQLServer_Source;[UID=SA;PWD=qzx741;]SQL=\"select * from table\"");

    const std::string connect = "DSN=x;UID=tg;pwd = {se;}}cr} ;Password=other;SQL=\"q\"";
    const std::string hidden = hideOdbcSecrets(
        "[drv]login of tg with se;}cr failed (DSN=x;UID=tg;PWD={se;}}cr};password=other)", connect);
    EXPECT_EQ(hidden.find("se;"), std::string::npos) << hidden;
    EXPECT_EQ(hidden.find("other"), std::string::npos) << hidden;
    EXPECT_NE(hidden.find("login of tg with"), std::string::npos) << hidden;
}

class OdbcReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string reason = test::registerSqliteDriver();
        if (!reason.empty()) GTEST_SKIP() << reason;
        sql("create table hits(status text, bytes integer, c, d, e)");
        for (int i = 0; i < 12; ++i) insertRow(i);
        m_source.setType(SourceType::Odbc);
        m_source.setConnect(test::sqliteConnect(m_database, "select * from hits order by bytes"));
        m_source.setBackup(m_backup);
        m_source.setFields({"status", "bytes"});
    }

    void sql(const std::string& statement) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(m_database.c_str(), &db), SQLITE_OK);
        // A running reader may be reading the table: wait for it rather than fail busy.
        sqlite3_busy_timeout(db, 30000);
        char* error = nullptr;
        const int rc = sqlite3_exec(db, statement.c_str(), nullptr, nullptr, &error);
        sqlite3_free(error);
        sqlite3_close(db);
        ASSERT_EQ(rc, SQLITE_OK) << statement;
    }
    void insertRow(int i) {
        sql("insert into hits values('" + std::string(i % 2 ? "404" : "200") + "', " +
            std::to_string(i) + ", 'c', 'd', 'e')");
    }
    std::string backupText() const {
        std::ifstream file(m_backup, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    // Polls with an observer attached as a listener would be (the reader does not run).
    std::string poll() {
        m_source.holdReader(true);
        m_source.attach(m_observer);
        const std::string error = OdbcReader(m_source).pollOnce();
        m_source.detach(m_observer);
        m_source.holdReader(false);
        return error;
    }

    test::TempDir m_dir;
    std::string m_database = m_dir.file("hits.db");
    std::string m_backup = m_dir.file("hits.dup");
    ConfigStore m_store{m_dir.path() / "store.db"};
    test::RecordingSink m_events;
    DataSource m_source{"db", m_store, m_events};
    test::RecordingListener m_observer;
};

TEST_F(OdbcReaderTest, DumpsWhenTheRowCountChangesOnlyAndEveryRowAgain) {
    EXPECT_EQ(poll(), "");
    ASSERT_EQ(m_observer.observed().size(), 12u);
    EXPECT_EQ(m_observer.observed()[1], (Record{"404", "1"}));  // two fields of five columns
    EXPECT_TRUE(m_observer.processed().empty());                // diagrams get rows by a rebuild
    EXPECT_EQ(m_source.lastPos(), 12u);
    const std::string first = backupText();
    EXPECT_EQ(first.substr(0, 16), "200\t0\t\r\n404\t1\t\r\n");

    EXPECT_EQ(poll(), "");  // the same count: nothing again
    EXPECT_EQ(m_observer.observed().size(), 12u);

    insertRow(12);
    EXPECT_EQ(poll(), "");
    EXPECT_EQ(m_observer.observed().size(), 25u);
    EXPECT_EQ(m_source.lastPos(), 13u);
    EXPECT_EQ(backupText(), first + "200\t12\t\r\n");

    sql("delete from hits where status = '404'");
    EXPECT_EQ(poll(), "");
    EXPECT_EQ(m_source.lastPos(), 7u);
    test::RecordingListener diagram;
    EXPECT_EQ(m_source.replayBackup(&diagram, 0), 1);
    ASSERT_EQ(diagram.processed().size(), 7u);
    EXPECT_EQ(diagram.processed()[6], (Record{"200", "12"}));
}

TEST_F(OdbcReaderTest, FailuresAreReportedWithTheirTextsAndNoPassword) {
    m_source.setFields({"a", "b", "c", "d", "e", "f"});
    const std::string tooFew = "Fields count in odbc source is not enough";
    EXPECT_EQ(poll(), tooFew);
    EXPECT_EQ(m_source.lastPos(), 0u);
    m_source.setFields({"a"});

    m_source.setConnect("Driver=SQLite3;Database=" + m_database + ";SQL=\"select 1");
    const std::string emptyQuery = poll();
    EXPECT_FALSE(emptyQuery.empty()) << "an empty query runs";

    m_source.setConnect("Driver=NoSuchDriver;UID=tg;PWD=s3cret;SQL=\"select 1\"");
    const std::string badDriver = poll();
    EXPECT_EQ(badDriver.rfind("ERROR -1:\n", 0), 0u) << badDriver;
    EXPECT_NE(badDriver.find("NoSuchDriver"), std::string::npos) << badDriver;
    EXPECT_NE(badDriver.find(",Native:0,Origin:[unixODBC][Driver Manager]\n"), std::string::npos)
        << badDriver;
    std::string tested = m_source.connect();
    EXPECT_FALSE(m_source.testConnection(tested));
    EXPECT_EQ(tested, badDriver);

    m_source.setConnect("Driver=SQLite3;Database=" + m_database + ";select 1");
    EXPECT_EQ(poll(), odbcUsageMessage());

    // Each failure once, as an error record and an event log line; the password nowhere.
    const std::vector<std::string> expected{tooFew, emptyQuery, badDriver, odbcUsageMessage()};
    ASSERT_EQ(m_observer.observed().size(), expected.size());
    ASSERT_EQ(m_events.lines().size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(m_observer.observed()[i], Record{expected[i]});
        EXPECT_EQ(m_events.lines()[i], "db|" + expected[i]);
        EXPECT_EQ(m_events.lines()[i].find("s3cret"), std::string::npos);
    }
}

TEST_F(OdbcReaderTest, ALogThatCannotBeWrittenWholeKeepsTheOldLogAndThePosition) {
    std::ofstream(m_backup, std::ios::binary) << "old\t1\t\r\n";
    // A stop part-way through the dump: neither a partial log nor a new position.
    class StopAfterThree : public test::RecordingListener {
    public:
        explicit StopAfterThree(DataSource& source) : m_source(source) {}
        void observeRecord(const Record& record, const FieldNames& names) override {
            RecordingListener::observeRecord(record, names);
            if (observed().size() == 3) SourceFeed(m_source).requestStop();
        }
        DataSource& m_source;
    } stopper(m_source);
    m_source.holdReader(true);
    m_source.attach(stopper);
    EXPECT_EQ(OdbcReader(m_source).pollOnce(), "");
    m_source.detach(stopper);
    m_source.holdReader(false);
    SourceFeed(m_source).clearStopping();
    EXPECT_EQ(stopper.observed().size(), 3u);
    EXPECT_EQ(backupText(), "old\t1\t\r\n");
    EXPECT_EQ(m_source.lastPos(), 0u);

    // No usable log (missing folder, none set): rows shown, one error per poll, tried again.
    for (const std::string& backup : {m_dir.file("missing/hits.dup"), std::string()}) {
        SCOPED_TRACE(backup);
        m_source.setBackup(backup);
        const std::size_t before = m_observer.observed().size();
        for (int pollNumber = 0; pollNumber < 2; ++pollNumber) {
            EXPECT_NE(poll(), "");
            EXPECT_EQ(m_source.lastPos(), 0u);
        }
        EXPECT_EQ(m_observer.observed().size(), before + 2 * 13);  // 12 rows and an error, twice
    }
    EXPECT_EQ(m_events.lines().size(), 4u);
    std::size_t leftOver = 0;
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.path())) {
        leftOver += entry.path().filename().string().rfind("hits.dup.", 0) == 0;
    }
    EXPECT_EQ(leftOver, 0u);  // no temporary file stays behind

    // A link stays and the file it names is replaced; a FIFO is never replaced by a file.
    const std::string link = m_dir.file("link.dup");
    std::filesystem::create_symlink(m_backup, link);
    m_source.setBackup(link);
    EXPECT_EQ(poll(), "");
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(backupText().substr(0, 8), "200\t0\t\r\n");
    const std::string fifo = m_dir.file("fifo.dup");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    m_source.setBackup(fifo);
    insertRow(12);
    EXPECT_NE(poll(), "");  // nobody reads the FIFO
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
}

TEST_F(OdbcReaderTest, RunsUntilStoppedAndOffersItsColumns) {
    m_source.setRetryPause(std::chrono::milliseconds(1));
    m_source.attach(m_observer);
    ASSERT_TRUE(m_observer.waitForObserved(12));
    insertRow(12);
    ASSERT_TRUE(m_observer.waitForObserved(25));  // polled again on its own
    m_source.detach(m_observer);                  // ends the reader, also inside a pause
    EXPECT_FALSE(m_source.isRunning());

    FieldNames columns{"kept"};
    m_source.odbcColumnNames(columns);
    EXPECT_EQ(columns, (FieldNames{"kept", "status", "bytes", "c", "d", "e"}));
    std::string text = m_source.connect();
    EXPECT_TRUE(m_source.testConnection(text));
}

}  // namespace
}  // namespace tg
