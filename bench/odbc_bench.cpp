// How many rows per second does an ODBC source dump, and what does a poll cost when the row
// count is unchanged? The SQLite ODBC driver (registered as "SQLite3") on a fresh database of
// ROWS rows of five columns; the source takes all five as fields. The first poll counts and
// dumps (duplicate log written and replaced, every row shown to a counting observer); the
// following polls find the same count and only scan the result.
// Usage: odbc_bench [--rows N] [--polls N]   (defaults 100000 and 5)

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_support.h"
#include "config/config_store.h"
#include "datasource/data_source.h"
#include "datasource/odbc/odbc_reader.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

bool fillDatabase(const std::string& path, long rows) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) return false;
    bool ok = sqlite3_exec(db,
                           "create table hits(host text, status text, bytes integer, "
                           "agent text, path text); begin",
                           nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_stmt* insert = nullptr;
    ok = ok && sqlite3_prepare_v2(db, "insert into hits values(?, ?, ?, ?, ?)", -1, &insert,
                                  nullptr) == SQLITE_OK;
    const char* statuses[] = {"200", "304", "404", "500"};
    for (long i = 0; ok && i < rows; ++i) {
        const std::string host = "10.0." + std::to_string(i % 250) + "." + std::to_string(i % 97);
        const std::string page = "/pages/item" + std::to_string(i % 5000) + ".html";
        sqlite3_bind_text(insert, 1, host.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, statuses[i % 4], -1, SQLITE_STATIC);
        sqlite3_bind_int64(insert, 3, (i * 7919) % 65536);
        sqlite3_bind_text(insert, 4, "Mozilla/5.0 (X11; Linux x86_64)", -1, SQLITE_STATIC);
        sqlite3_bind_text(insert, 5, page.c_str(), -1, SQLITE_TRANSIENT);
        ok = sqlite3_step(insert) == SQLITE_DONE && sqlite3_reset(insert) == SQLITE_OK;
    }
    sqlite3_finalize(insert);
    ok = ok && sqlite3_exec(db, "commit", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    long rows = 100000;
    int polls = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--rows")
            rows = std::atol(argv[i + 1]);
        else if (option == "--polls")
            polls = std::atoi(argv[i + 1]);
    }
    if (rows <= 0 || polls <= 0 || argc % 2 == 0) {
        std::fprintf(stderr, "usage: odbc_bench [--rows N] [--polls N]\n");
        return 2;
    }
    tg::bench::printMachine();
    tg::bench::TempDir dir("tg-odbc-bench");
    if (dir.path().empty()) return 1;
    const std::string database = (dir.path() / "hits.db").string();
    if (!fillDatabase(database, rows)) {
        std::fprintf(stderr, "cannot write %s\n", database.c_str());
        return 1;
    }

    tg::ConfigStore store(dir.path() / "store.db");
    tg::bench::CountingEvents events;
    tg::DataSource source("db", store, events);
    source.setType(tg::SourceType::Odbc);
    source.setConnect("Driver=SQLite3;Database=" + database + ";SQL=\"select * from hits\"");
    source.setBackup((dir.path() / "hits.dup").string());
    source.setFields({"host", "status", "bytes", "agent", "path"});
    tg::bench::CountingListener observer;
    source.holdReader(true);  // polled here, on this thread
    source.attach(observer);
    tg::OdbcReader reader(source);

    const auto dumpStart = Clock::now();
    const std::string error = reader.pollOnce();
    const double dumpSeconds = secondsSince(dumpStart);
    if (!error.empty() || observer.observed() != static_cast<std::uint64_t>(rows)) {
        std::fprintf(stderr, "dump failed (%llu rows shown): %s\n",
                     static_cast<unsigned long long>(observer.observed()), error.c_str());
        source.detach(observer);
        return 1;
    }
    std::vector<double> unchanged;
    for (int i = 0; i < polls; ++i) {
        const auto start = Clock::now();
        if (!reader.pollOnce().empty()) return 1;
        unchanged.push_back(secondsSince(start));
    }
    source.detach(observer);
    std::sort(unchanged.begin(), unchanged.end());
    std::printf("rows: %ld of five columns\n", rows);
    std::printf("first poll (count, dump, replace the log, show every row): %.3f s, %.0f rows/s\n",
                dumpSeconds, static_cast<double>(rows) / dumpSeconds);
    std::printf("unchanged poll (connect, count): median %.3f s, %.0f rows/s scanned\n",
                unchanged[unchanged.size() / 2],
                static_cast<double>(rows) / unchanged[unchanged.size() / 2]);
    return observer.observed() == static_cast<std::uint64_t>(rows) ? 0 : 1;
}
