// Opening the store's file: its schema, its identity among SQLite databases and among files,
// and whether writes can land.

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "config/config_store.h"

namespace tg {
namespace {

// Marks our files among SQLite databases ("TgCf"), so that a --store pointing at another
// program's database is refused instead of having our tables added to it.
constexpr int kApplicationId = 0x54674366;
constexpr int kSchemaVersion = 1;
constexpr int kBusyTimeoutMs = 10000;

// Names and texts are bound as TEXT with explicit lengths, never as BLOB: SQLite compares
// BLOBs bytewise and would ignore the NOCASE collation the registry's names need. SQLite
// neither checks nor converts the bytes of a UTF-8 database's TEXT, so Windows-1252 names,
// embedded zero bytes included, are stored as they are.
//
// AUTOINCREMENT: ids of deleted keys are never handed out again, so a ConfigKey still holding
// a deleted key's id writes nowhere instead of into whichever key was created next.
constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS keys ("
    "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
    "  parent INTEGER NOT NULL,"
    "  name TEXT NOT NULL COLLATE NOCASE,"
    "  UNIQUE (parent, name));"
    "CREATE TABLE IF NOT EXISTS key_values ("
    "  key INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,"
    "  name TEXT NOT NULL COLLATE NOCASE,"
    "  type INTEGER NOT NULL,"
    "  data BLOB NOT NULL,"
    "  PRIMARY KEY (key, name)) WITHOUT ROWID;";

}  // namespace

bool ConfigStore::openFile() {
    // SQLite reads an empty name as "a temporary database": writes would vanish silently.
    if (m_path.empty()) {
        m_error = "no store path given";
        return false;
    }
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(
        m_path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
        nullptr);
    m_db.reset(raw);  // a failed open still hands out a handle that must be closed
    if (rc != SQLITE_OK) {
        m_error = m_db ? sqlite3_errmsg(m_db.get()) : sqlite3_errstr(rc);
        return false;
    }
    sqlite3_busy_timeout(m_db.get(), kBusyTimeoutMs);
    // The first statement reads the file: a file that is not a database fails here.
    if (!exec("PRAGMA journal_mode=WAL") || !exec("PRAGMA synchronous=FULL") ||
        !exec("PRAGMA foreign_keys=ON") || !createSchema()) {
        if (m_error.empty()) m_error = m_lastError;
        return false;
    }
    m_lastError.clear();
    if (m_path == ":memory:") return true;  // a private database without a file
    struct stat opened {};
    if (::stat(m_path.c_str(), &opened) != 0) {
        m_error = m_path.string() + ": " + std::strerror(errno);
        return false;
    }
    m_device = opened.st_dev;
    m_inode = opened.st_ino;
    m_hasFile = true;
    return true;
}

bool ConfigStore::checkWritable() {
    std::lock_guard lock(m_mutex);
    if (!m_db) return false;
    if (sqlite3_db_readonly(m_db.get(), "main") == 1) {
        m_lastError = "the file is read-only";
        return false;
    }
    // Writing the version it already holds: even a transaction that escaped the rollback would
    // change nothing.
    const std::string write = "PRAGMA user_version=" + std::to_string(kSchemaVersion);
    const bool ok = exec("BEGIN IMMEDIATE") && exec(write.c_str());
    if (!sqlite3_get_autocommit(m_db.get())) {
        const std::string reason = m_lastError;
        // Undoes the probe; the answer is already known, and SQLite rolls back a failed one
        // itself when the connection closes.
        (void)exec("ROLLBACK");
        m_lastError = reason;
    }
    return ok;
}

std::string ConfigStore::pathProblem() {
    std::lock_guard lock(m_mutex);
    if (!m_db || !m_hasFile) return {};
    struct stat now {};
    if (::stat(m_path.c_str(), &now) != 0) {
        return errno == ENOENT ? "the file was deleted while it was in use"
                               : std::string("the file cannot be found: ") + std::strerror(errno);
    }
    if (now.st_dev != m_device || now.st_ino != m_inode) {
        return "the path now names another file than the one in use";
    }
    return {};
}

std::optional<int> ConfigStore::queryInt(const char* sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(m_db.get(), sql, -1, &raw, nullptr) != SQLITE_OK) {
        noteFailure();
        return std::nullopt;
    }
    SqliteStmt stmt(raw);
    if (sqlite3_step(raw) != SQLITE_ROW) {
        noteFailure();
        return std::nullopt;
    }
    return sqlite3_column_int(raw, 0);
}

bool ConfigStore::createSchema() {
    std::optional<int> id = queryInt("PRAGMA application_id");
    std::optional<int> version = queryInt("PRAGMA user_version");
    if (!id || !version) return false;
    if (*id == kApplicationId && *version == kSchemaVersion) return true;  // no write needed
    if (*id == kApplicationId && *version > kSchemaVersion) {
        m_error = "the store was written by a newer version of Tessellgrove";
        return false;
    }
    if (*id != kApplicationId && *id != 0) {
        m_error = "not a Tessellgrove store";
        return false;
    }
    // A new file, or one another process is creating right now: look again under the lock.
    if (!exec("BEGIN IMMEDIATE")) return false;
    std::optional<int> idNow = queryInt("PRAGMA application_id");
    std::optional<int> tables =
        queryInt("SELECT count(*) FROM sqlite_schema WHERE name NOT LIKE 'sqlite%'");
    bool ok = idNow && tables;
    if (ok && *idNow != kApplicationId && (*idNow != 0 || *tables != 0)) {
        m_error = "not a Tessellgrove store (the database holds other tables)";
        ok = false;
    }
    if (ok && *idNow == 0) {
        const std::string pragmas = "PRAGMA application_id=" + std::to_string(kApplicationId) +
                                    "; PRAGMA user_version=" + std::to_string(kSchemaVersion);
        ok = exec(kSchema) && exec(pragmas.c_str());
    }
    if (ok && exec("COMMIT")) return true;
    // The open fails either way; a rollback that fails too leaves nothing more to report.
    if (!sqlite3_get_autocommit(m_db.get())) (void)exec("ROLLBACK");
    return false;
}

bool ConfigStore::exec(const char* sql) {
    std::lock_guard lock(m_mutex);
    if (!m_db) return false;
    if (sqlite3_exec(m_db.get(), sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        m_lastError = sqlite3_errmsg(m_db.get());
        return false;
    }
    return true;
}

std::string ConfigStore::lastError() {
    std::lock_guard lock(m_mutex);
    return m_lastError;
}

void ConfigStore::noteFailure() {
    if (m_db) m_lastError = sqlite3_errmsg(m_db.get());
    if (m_transactionDepth > 0) m_transactionBroken = true;
}

}  // namespace tg
