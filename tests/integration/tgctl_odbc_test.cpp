// tgctl on ODBC sources, with the SQLite ODBC driver on a database file.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "config/config_key.h"
#include "config/config_store.h"
#include "datasource/odbc/odbc_reader.h"
#include "datasource/source_manager.h"
#include "support/odbc_drivers.h"
#include "support/tgctl_runner.h"

namespace tg::test {
namespace {

class TgctlOdbcTest : public TgctlTest {
protected:
    void SetUp() override {
        const std::string reason = registerSqliteDriver();
        if (!reason.empty()) GTEST_SKIP() << reason;
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(m_database.c_str(), &db), SQLITE_OK);
        const int rc = sqlite3_exec(db,
                                    "create table hits(status text, bytes integer, agent text);"
                                    "insert into hits values('200', 10, 'a'), ('404', 1, 'b'),"
                                    " ('200', 5, 'c');",
                                    nullptr, nullptr, nullptr);
        sqlite3_close(db);
        ASSERT_EQ(rc, SQLITE_OK);
        expectOk(tgctl({"source", "add", "db", "--type", "ODBC", "--connect",
                        sqliteConnect(m_database, "select * from hits"), "--backup", m_backup,
                        "--fields", "status,bytes"}));
        expectOk(tgctl({"source", "add", "web", "--type", "FILE", "--regexp", "(.*)", "--connect",
                        m_dir.file("web.log"), "--backup", m_dir.file("web.dup")}));
    }

    std::string m_database = m_dir.file("hits.db");
    std::string m_backup = m_dir.file("hits.dup");
};

TEST_F(TgctlOdbcTest, ColumnsListsTheQuerysColumnsOrSaysWhyNotWithoutThePassword) {
    expectOk(tgctl({"source", "columns", "db"}), "status\nbytes\nagent\n");
    expectFailure(tgctl({"source", "columns", "web"}), "data source web is not an ODBC source");
    expectFailure(tgctl({"source", "columns", "none"}), "no data source none");

    expectOk(tgctl(
        {"source", "set", "db", "--connect", "Driver=NoSuchDriver;PWD=s3cret;SQL=\"select 1\""}));
    const RunResult failed = tgctl({"source", "columns", "db"});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_EQ(failed.err.rfind("tgctl: ERROR -1:\n", 0), 0u) << failed.err;
    EXPECT_EQ(failed.err.find("s3cret"), std::string::npos) << failed.err;
}

TEST_F(TgctlOdbcTest, RebuildFoldsTheDuplicateLogIntoTheStoredDataAndKeepsItWithoutALog) {
    {
        ConfigStore store(m_store);
        ConfigKey key(store);
        ASSERT_TRUE(key.open("\\diagrams\\by status"));
        key.setString("datasource", "db");
        key.setString("xaxis", "/old\t");
        ASSERT_TRUE(key.open("\\diagrams\\by status\\groups\\status"));
        key.setString("datasource", "status");
        ASSERT_TRUE(key.open("\\diagrams\\by status\\yaxises\\bytes"));
        key.setString("datasource", "bytes");
        key.setDword("oper", 1);  // SUM
        key.setString("data", "7,");
        key.setString("count", "1,");
    }
    // Without a log yet: refused, and the stored data stays.
    expectFailure(tgctl({"diagram", "rebuild", "by status"}),
                  "cannot read the duplicate log of data source db: " + m_backup);
    expectFailure(tgctl({"diagram", "rebuild", "none"}), "no diagram none");
    const std::string old = tgctl({"diagram", "show", "by status"}).out;
    EXPECT_NE(old.find("\nx\tbytes\n/old\t7\n"), std::string::npos) << old;
    {
        ConfigStore store(m_store);
        SourceManager sources(store);
        sources.holdReaders(true);
        SourceHandle source = sources.acquire("db");
        ASSERT_TRUE(source);
        EXPECT_EQ(OdbcReader(*source).pollOnce(), "");
    }
    expectOk(tgctl({"diagram", "rebuild", "by status"}));
    const RunResult shown = tgctl({"diagram", "show", "by status"});
    EXPECT_NE(shown.out.find("\nx\tbytes\n/200\t15\n/404\t1\n"), std::string::npos) << shown.out;
}

}  // namespace
}  // namespace tg::test
