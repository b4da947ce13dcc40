// The store's operations: the prepared statements, the walk down key paths, the key table
// (finding, adding, listing and deleting keys) and the values kept below each key. Opening
// the file and its checks are in config_store_file.cpp.

#include "config/config_store.h"

#include <array>

#include "config/config_key.h"

namespace tg {
namespace {

constexpr char kDefaultSeparator = '\t';

enum Statement : int {
    kFindChild,
    kInsertChild,
    kReadValue,
    kWriteValue,
    kDeleteValue,
    kSubKeyNames,
    kValueNames,
    kDeleteTreeValues,
    kDeleteTreeKeys,
    kStatementCount
};

constexpr std::array<const char*, kStatementCount> kSql = {
    "SELECT id FROM keys WHERE parent = ?1 AND name = ?2",
    "INSERT OR IGNORE INTO keys(parent, name) VALUES (?1, ?2)",
    "SELECT type, data FROM key_values WHERE key = ?1 AND name = ?2",
    // An update keeps the name's first spelling, as the registry does.
    "INSERT INTO key_values(key, name, type, data) VALUES (?1, ?2, ?3, ?4) "
    "ON CONFLICT (key, name) DO UPDATE SET type = excluded.type, data = excluded.data",
    "DELETE FROM key_values WHERE key = ?1 AND name = ?2",
    "SELECT name FROM keys WHERE parent = ?1 ORDER BY name",
    "SELECT name FROM key_values WHERE key = ?1 ORDER BY name",
    // The key ?1 and every key below it. UNION, not UNION ALL: a damaged file with a cycle
    // in it still ends the walk.
    "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION SELECT keys.id FROM keys, tree "
    "WHERE keys.parent = tree.id) DELETE FROM key_values WHERE key IN tree",
    "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION SELECT keys.id FROM keys, tree "
    "WHERE keys.parent = tree.id) DELETE FROM keys WHERE id IN tree",
};

// Resets a statement and drops its bindings when the use ends, so that bound views never
// outlive the call that bound them.
class StatementUse {
public:
    explicit StatementUse(sqlite3_stmt* stmt) : m_stmt(stmt) {}
    ~StatementUse() {
        if (m_stmt) {
            sqlite3_reset(m_stmt);
            sqlite3_clear_bindings(m_stmt);
        }
    }
    StatementUse(const StatementUse&) = delete;
    StatementUse& operator=(const StatementUse&) = delete;
    explicit operator bool() const { return m_stmt != nullptr; }
    sqlite3_stmt* get() const { return m_stmt; }

private:
    sqlite3_stmt* m_stmt;
};

// Names are bound as TEXT (see the schema), so that NOCASE compares them; data as BLOB.
// A null pointer would bind SQL NULL; an empty view must bind an empty text or blob.
const char* bytesOf(std::string_view text) { return text.empty() ? "" : text.data(); }

bool bindText(sqlite3_stmt* stmt, int index, std::string_view text) {
    return sqlite3_bind_text64(stmt, index, bytesOf(text), text.size(), SQLITE_STATIC,
                               SQLITE_UTF8) == SQLITE_OK;
}

bool bindBlob(sqlite3_stmt* stmt, int index, std::string_view bytes) {
    return sqlite3_bind_blob64(stmt, index, bytesOf(bytes), bytes.size(), SQLITE_STATIC) ==
           SQLITE_OK;
}

std::string columnBytes(sqlite3_stmt* stmt, int index) {
    const void* bytes = sqlite3_column_blob(stmt, index);
    const int size = sqlite3_column_bytes(stmt, index);
    if (!bytes || size <= 0) return {};
    return std::string(static_cast<const char*>(bytes), static_cast<std::size_t>(size));
}

std::vector<std::string_view> splitPath(std::string_view path) {
    std::vector<std::string_view> parts;
    while (!path.empty()) {
        const std::size_t end = path.find('\\');
        const std::string_view part = path.substr(0, end);
        if (!part.empty()) parts.push_back(part);
        if (end == std::string_view::npos) break;
        path.remove_prefix(end + 1);
    }
    return parts;
}

}  // namespace

ConfigStore::ConfigStore(const std::filesystem::path& path) : m_path(path) {
    std::lock_guard lock(m_mutex);
    m_statements.resize(kStatementCount);
    if (!openFile()) {
        m_statements.clear();
        m_db.reset();  // closed: statement() hands out nothing from now on
    }
}

ConfigStore::~ConfigStore() {
    std::lock_guard lock(m_mutex);
    m_statements.clear();  // finalized before the connection closes
    m_db.reset();
}

sqlite3_stmt* ConfigStore::statement(int index) {
    if (!m_db) return nullptr;
    SqliteStmt& slot = m_statements[static_cast<std::size_t>(index)];
    if (!slot) {
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v3(m_db.get(), kSql[static_cast<std::size_t>(index)], -1,
                               SQLITE_PREPARE_PERSISTENT, &raw, nullptr) != SQLITE_OK) {
            noteFailure();
            return nullptr;
        }
        slot.reset(raw);
    }
    return slot.get();
}

bool ConfigStore::writable() {
    if (!m_db || m_transactionBroken) return false;
    // SQLite ends a transaction by itself on some errors (disk full, I/O); later writes would
    // then land one by one, outside the batch.
    if (m_transactionDepth > 0 && sqlite3_get_autocommit(m_db.get())) {
        m_transactionBroken = true;
        return false;
    }
    return true;
}

int ConfigStore::findChild(KeyId parent, std::string_view name, KeyId& out) {
    StatementUse stmt(statement(kFindChild));
    if (!stmt) return kStoreFailed;
    sqlite3_bind_int64(stmt.get(), 1, parent);
    if (!bindText(stmt.get(), 2, name)) return kStoreFailed;
    const int rc = sqlite3_step(stmt.get());
    if (rc == SQLITE_ROW) {
        out = sqlite3_column_int64(stmt.get(), 0);
        return kStoreOk;
    }
    if (rc == SQLITE_DONE) return kStoreMissing;
    noteFailure();
    return kStoreFailed;
}

int ConfigStore::insertChild(KeyId parent, std::string_view name, KeyId& out) {
    if (!writable()) return kStoreFailed;
    StatementUse insert(statement(kInsertChild));
    if (!insert) return kStoreFailed;
    sqlite3_bind_int64(insert.get(), 1, parent);
    if (!bindText(insert.get(), 2, name) || sqlite3_step(insert.get()) != SQLITE_DONE) {
        noteFailure();
        return kStoreFailed;
    }
    return findChild(parent, name, out);
}

int ConfigStore::walkPath(KeyId base, std::string_view path, PathWalk walk, KeyId& out) {
    KeyId id = base;
    for (std::string_view part : splitPath(path)) {
        KeyId child = 0;
        int rc = findChild(id, part, child);
        // Look first and insert only what is missing: opening existing keys, the common case,
        // then never takes the write lock another process may be holding.
        if (rc == kStoreMissing && walk == PathWalk::Create) rc = insertChild(id, part, child);
        if (rc != kStoreOk) return rc;
        id = child;
    }
    out = id;
    return kStoreOk;
}

std::optional<KeyId> ConfigStore::createKey(KeyId base, std::string_view path) {
    std::lock_guard lock(m_mutex);
    if (!m_db) return std::nullopt;
    KeyId id = base;
    if (walkPath(base, path, PathWalk::Create, id) != kStoreOk) return std::nullopt;
    return id;
}

std::optional<KeyId> ConfigStore::findKey(KeyId base, std::string_view path) {
    std::lock_guard lock(m_mutex);
    if (!m_db) return std::nullopt;
    KeyId id = base;
    if (walkPath(base, path, PathWalk::Find, id) != kStoreOk) return std::nullopt;
    return id;
}

int ConfigStore::readValue(KeyId key, std::string_view name, ConfigValue& out) {
    std::lock_guard lock(m_mutex);
    if (!m_db) return kStoreClosed;
    StatementUse stmt(statement(kReadValue));
    if (!stmt) return kStoreFailed;
    sqlite3_bind_int64(stmt.get(), 1, key);
    if (!bindText(stmt.get(), 2, name)) return kStoreFailed;
    const int rc = sqlite3_step(stmt.get());
    if (rc == SQLITE_DONE) return kStoreMissing;
    if (rc != SQLITE_ROW) {
        noteFailure();
        return kStoreFailed;
    }
    out.type = static_cast<ValueType>(sqlite3_column_int(stmt.get(), 0));
    out.data = columnBytes(stmt.get(), 1);
    return kStoreOk;
}

std::optional<ConfigValue> ConfigStore::readValue(KeyId key, std::string_view name) {
    ConfigValue value;
    if (readValue(key, name, value) != kStoreOk) return std::nullopt;
    return value;
}

bool ConfigStore::writeValue(KeyId key, std::string_view name, ValueType type,
                             std::string_view data) {
    std::lock_guard lock(m_mutex);
    if (!writable()) return false;
    if (type == ValueType::Dword && data.size() != 4) return false;
    StatementUse stmt(statement(kWriteValue));
    if (!stmt) return false;
    sqlite3_bind_int64(stmt.get(), 1, key);
    sqlite3_bind_int(stmt.get(), 3, static_cast<int>(type));
    if (!bindText(stmt.get(), 2, name) || !bindBlob(stmt.get(), 4, data) ||
        sqlite3_step(stmt.get()) != SQLITE_DONE) {
        noteFailure();  // also a key deleted meanwhile: the foreign key refuses the value
        return false;
    }
    return true;
}

int ConfigStore::deleteValue(KeyId key, std::string_view name) {
    std::lock_guard lock(m_mutex);
    if (!m_db) return kStoreClosed;
    if (!writable()) return kStoreFailed;
    StatementUse stmt(statement(kDeleteValue));
    if (!stmt) return kStoreFailed;
    sqlite3_bind_int64(stmt.get(), 1, key);
    if (!bindText(stmt.get(), 2, name) || sqlite3_step(stmt.get()) != SQLITE_DONE) {
        noteFailure();
        return kStoreFailed;
    }
    return sqlite3_changes(m_db.get()) > 0 ? kStoreOk : kStoreMissing;
}

namespace {

// Every first column of the statement's rows, until the first failure.
std::vector<std::string> collectNames(sqlite3_stmt* stmt, KeyId key) {
    std::vector<std::string> names;
    StatementUse use(stmt);
    if (!use) return names;
    sqlite3_bind_int64(stmt, 1, key);
    while (sqlite3_step(stmt) == SQLITE_ROW) names.push_back(columnBytes(stmt, 0));
    return names;
}

}  // namespace

std::vector<std::string> ConfigStore::subKeyNames(KeyId key) {
    std::lock_guard lock(m_mutex);
    return collectNames(statement(kSubKeyNames), key);
}

std::vector<std::string> ConfigStore::valueNames(KeyId key) {
    std::lock_guard lock(m_mutex);
    return collectNames(statement(kValueNames), key);
}

int ConfigStore::deleteTreeBody(KeyId parent, std::string_view name) {
    KeyId id = parent;
    const int rc = walkPath(parent, name, PathWalk::Find, id);
    if (rc != kStoreOk) return rc;
    // Values first, then the keys: the walk needs the keys, and the cascade would otherwise
    // run once per key.
    for (int index : {kDeleteTreeValues, kDeleteTreeKeys}) {
        StatementUse stmt(statement(index));
        if (!stmt) return kStoreFailed;
        sqlite3_bind_int64(stmt.get(), 1, id);
        if (sqlite3_step(stmt.get()) != SQLITE_DONE) {
            noteFailure();
            return kStoreFailed;
        }
    }
    return kStoreOk;
}

int ConfigStore::deleteTree(KeyId parent, std::string_view name) {
    std::lock_guard lock(m_mutex);
    if (!m_db) return kStoreClosed;
    // An empty name would mean the parent itself (or, below the root, the whole tree).
    if (splitPath(name).empty()) return kStoreBadName;
    if (!writable()) return kStoreFailed;
    // Inside a ConfigTransaction a savepoint nests in it; alone, a transaction of its own.
    const bool nested = m_transactionDepth > 0;
    if (!exec(nested ? "SAVEPOINT tg_delete_tree" : "BEGIN IMMEDIATE")) {
        noteFailure();
        return kStoreFailed;
    }
    int result = deleteTreeBody(parent, name);
    if (result == kStoreOk) {
        if (exec(nested ? "RELEASE tg_delete_tree" : "COMMIT")) return kStoreOk;
        noteFailure();
        result = kStoreFailed;
    }
    // The failure is already in result (and, nested, marks the transaction broken); a
    // rollback that fails too has nothing to add.
    if (nested) {
        (void)exec("ROLLBACK TO tg_delete_tree");
        (void)exec("RELEASE tg_delete_tree");
    } else if (!sqlite3_get_autocommit(m_db.get())) {
        (void)exec("ROLLBACK");
    }
    return result;
}

std::string encodeDword(std::uint32_t value) {
    std::string bytes(4, '\0');
    for (std::size_t i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return bytes;
}

std::optional<std::uint32_t> decodeDword(std::string_view data) {
    if (data.size() != 4) return std::nullopt;
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value |= static_cast<std::uint32_t>(static_cast<unsigned char>(data[i])) << (8 * i);
    }
    return value;
}

char ConfigStore::listSeparator() {
    const int kept = m_listSeparator.load(std::memory_order_relaxed);
    if (kept >= 0) return static_cast<char>(kept);
    ConfigKey key(*this);
    // Without an open key getDword yields the default: the TAB the store falls back to.
    (void)key.open("", kProductKey);
    const auto low = static_cast<unsigned char>(key.getDword("Separator", kDefaultSeparator));
    if (low == 0) return kDefaultSeparator;  // a zero byte cannot separate texts; not kept
    m_listSeparator.store(low, std::memory_order_relaxed);
    return static_cast<char>(low);
}

}  // namespace tg
