#pragma once
// ODBC drivers for tests, registered in a private odbcinst.ini (ODBCSYSINI and ODBCINSTINI
// point at it for this process and the processes it starts), so tests do not depend on what
// the machine has registered: "SQLite3" (Debian libsqliteodbc) and "PostgreSQL ANSI"
// (odbc-postgresql), each where its library is installed. Call before the first ODBC use.

#include <string>

namespace tg::test {

// The reason a driver's tests cannot run here; empty when the driver is registered.
std::string registerSqliteDriver();
std::string registerPostgresDriver();

// A DSN-less connect string of the SQLite driver for the database file `path`, with `query`.
std::string sqliteConnect(const std::string& path, const std::string& query);

}  // namespace tg::test
