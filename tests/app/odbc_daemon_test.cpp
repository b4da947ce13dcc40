// An ODBC source on a real PostgreSQL server through psqlODBC, run by the real
// tessellgroved: the daemon dumps the table into the duplicate log, and a diagram rebuilt
// from it shows the table's numbers.

#include <gtest/gtest.h>

#include <algorithm>

#include "daemon_process.h"
#include "daemon_store.h"
#include "diagram/diagram_manager.h"
#include "postgres_cluster.h"
#include "support/odbc_drivers.h"
#include "support/reserved_port.h"
#include "support/temp_dir.h"
#include "support/tgctl_runner.h"

namespace tg {
namespace {

// One ODBC source "db" on `connect` and the diagram "by status" on it (group status, bytes
// SUM).
void defineOdbcStore(const std::string& storePath, const std::string& connect,
                     const std::string& backup, std::uint16_t webPort) {
    const test::StoredSource db{"db", SourceType::Odbc, connect, backup, ""};
    test::defineStore(storePath, webPort, db, [](DiagramManager& diagrams) {
        ASSERT_EQ(diagrams.create("by status"), 0);
        DiagramHandle diagram = diagrams.acquire("by status");
        diagram->setGroup("status", "status", "");
        diagram->setAxis("bytes", "bytes", "", AxisOper::Sum);
        (void)diagram->setDataSource("db");
        diagram->saveDefinition();
    });
}

std::size_t lineCount(const std::string& path) {
    const std::string text = test::readFile(path);
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

TEST(OdbcDaemon, APostgresTableReachesARebuiltDiagramThroughTheDuplicateLog) {
    const std::string noDriver = test::registerPostgresDriver();
    if (!noDriver.empty()) GTEST_SKIP() << noDriver;
    test::PostgresCluster cluster;
    if (!cluster.unavailable().empty()) GTEST_SKIP() << cluster.unavailable();
    test::ReservedPort databasePort;
    test::ReservedPort webPort;
    std::string error;
    ASSERT_TRUE(cluster.start(databasePort.port(), error)) << error;
    ASSERT_TRUE(
        cluster.sql("create table hits(status varchar(8), bytes integer, agent text);"
                    "insert into hits values ('200', 10, 'a'), ('404', 1, 'b'),"
                    " ('200', 5, 'c'), ('500', 7, 'd');",
                    error))
        << error;

    test::TempDir dir;
    const std::string storePath = dir.file("store.db");
    const std::string backup = dir.file("db.dup");
    const std::string connect =
        "Driver=PostgreSQL ANSI;Servername=127.0.0.1;Port=" + std::to_string(databasePort.port()) +
        ";Database=postgres;UID=tg;PWD=unused;"
        "SQL=\"select status, bytes, agent from hits order by agent\"";
    defineOdbcStore(storePath, connect, backup, webPort.port());
    {
        test::DaemonProcess daemon({"--store", storePath, "--bind", "127.0.0.1"}, dir.file("err"));
        ASSERT_TRUE(test::waitFor([&] { return lineCount(backup) == 4; }))
            << daemon.errors()
            << test::runTgctl({"--store", storePath, "source", "show", "db"}).out;
        test::expectCleanStop(daemon);
    }
    const test::RunResult rebuilt =
        test::runTgctl({"--store", storePath, "diagram", "rebuild", "by status"});
    EXPECT_EQ(rebuilt.exitCode, 0) << rebuilt.err;
    const test::RunResult shown =
        test::runTgctl({"--store", storePath, "diagram", "show", "by status"});
    EXPECT_NE(shown.out.find("\nx\tbytes\n/200\t15\n/404\t1\n/500\t7\n"), std::string::npos)
        << shown.out << shown.err;
    EXPECT_NE(
        test::runTgctl({"--store", storePath, "source", "show", "db"}).out.find("lastpos\t4\n"),
        std::string::npos);
}

}  // namespace
}  // namespace tg
