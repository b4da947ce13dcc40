#include "support/odbc_drivers.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <mutex>

#include "support/temp_dir.h"

namespace tg::test {
namespace {

// The first installed copy of a driver library in Debian's folders.
std::string findLibrary(const std::string& name) {
    for (const char* folder : {"/usr/lib/x86_64-linux-gnu/odbc", "/usr/lib/aarch64-linux-gnu/odbc",
                               "/usr/lib/odbc", "/usr/local/lib/odbc"}) {
        const std::filesystem::path path = std::filesystem::path(folder) / name;
        std::error_code ignored;
        if (std::filesystem::exists(path, ignored)) return path.string();
    }
    return {};
}

struct Registry {
    TempDir dir;
    std::string sqlite = findLibrary("libsqlite3odbc.so");
    std::string postgres = findLibrary("psqlodbca.so");

    Registry() {
        std::ofstream ini(dir.file("odbcinst.ini"));
        if (!sqlite.empty()) ini << "[SQLite3]\nDriver=" << sqlite << "\n\n";
        if (!postgres.empty()) ini << "[PostgreSQL ANSI]\nDriver=" << postgres << "\n\n";
        std::ofstream(dir.file("odbc.ini")) << "";
        ::setenv("ODBCSYSINI", dir.path().c_str(), 1);
        ::setenv("ODBCINSTINI", "odbcinst.ini", 1);
        ::setenv("ODBCINI", dir.file("odbc.ini").c_str(), 1);
    }
};

Registry& registry() {
    static Registry instance;  // removed at the end of the process
    return instance;
}

}  // namespace

std::string registerSqliteDriver() {
    return registry().sqlite.empty() ? "the SQLite ODBC driver (libsqliteodbc) is not installed"
                                     : "";
}

std::string registerPostgresDriver() {
    return registry().postgres.empty()
               ? "the PostgreSQL ODBC driver (odbc-postgresql) is not installed"
               : "";
}

std::string sqliteConnect(const std::string& path, const std::string& query) {
    return "Driver=SQLite3;Database=" + path + ";SQL=\"" + query + "\"";
}

}  // namespace tg::test
