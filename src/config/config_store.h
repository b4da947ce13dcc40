#pragma once
// The configuration store: one SQLite file holding a tree of keys with typed values, the
// way the Windows registry holds them (key names compare without regard to ASCII case;
// sub-keys and values enumerate in case-insensitive name order).
//
// One connection, guarded by a recursive mutex, serves every thread of the process; a busy
// timeout lets a second process (tgctl beside a running daemon) share the file. A store
// whose file cannot be opened, or is not a store, stays closed: every operation then fails
// quietly and callers see their defaults (ConfigKey), never an exception.
//
// Most callers use ConfigKey; the operations here work on key ids and are its back end.
//
// Failures: reads and deletes answer the registry's codes below (kStoreOk, kStoreMissing,
// kStoreNotText, ...), so that a caller tells a missing value from a failed store; key walks
// answer an empty optional, writes and checks a bool. Every such result is [[nodiscard]]. A
// caller that drops one says why in a comment: usually because store failures are silent by
// rule and the caller's default stands, or because a rollback after a failure has nothing
// left to report.

#include <sqlite3.h>
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tg {

// Value types, numbered as the registry numbers them.
enum class ValueType : int { String = 1, Binary = 3, Dword = 4 };

// A stored value: its type and its raw bytes (a text without terminating zero; a DWORD as
// four little-endian bytes; binary data as it is).
struct ConfigValue {
    ValueType type = ValueType::String;
    std::string data;
};

using KeyId = std::int64_t;
// The id of the tree's root (the registry's HKEY_LOCAL_MACHINE); it has no name.
inline constexpr KeyId kRootKey = 0;

// The product key under the root; every subsystem keeps its values below it.
inline constexpr std::string_view kProductKey = "SOFTWARE\\kestroware\\Tessellgrove\\2.0";

// Result codes of the store, numbered as the registry's system error codes.
inline constexpr int kStoreOk = 0;
inline constexpr int kStoreMissing = 2;    // ERROR_FILE_NOT_FOUND
inline constexpr int kStoreClosed = 6;     // ERROR_INVALID_HANDLE
inline constexpr int kStoreNotText = 13;   // ERROR_INVALID_DATA
inline constexpr int kStoreBadName = 87;   // ERROR_INVALID_PARAMETER
inline constexpr int kStoreFailed = 1359;  // ERROR_INTERNAL_ERROR: SQLite failed

struct SqliteClose {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using SqliteDb = std::unique_ptr<sqlite3, SqliteClose>;

struct SqliteFinalize {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using SqliteStmt = std::unique_ptr<sqlite3_stmt, SqliteFinalize>;

class ConfigStore {
public:
    // Opens the file, creating it and its schema when missing (the parent folder must exist).
    // On failure the store stays closed and error() says why.
    explicit ConfigStore(const std::filesystem::path& path);
    ~ConfigStore();
    ConfigStore(const ConfigStore&) = delete;
    ConfigStore& operator=(const ConfigStore&) = delete;

    bool isOpen() const { return m_db != nullptr; }
    // Whether writes can land: takes the write lock and changes the file's header in a
    // transaction that is then rolled back, so nothing changes. False, with lastError() saying
    // why, for a file or folder that cannot be written, or a store another process keeps busy.
    [[nodiscard]] bool checkWritable();
    // Empty while the store's path still names the file that was opened; else why not (the
    // file was deleted, or the path now names another file): writes then land in a file that
    // nobody will open again.
    [[nodiscard]] std::string pathProblem();
    const std::string& error() const { return m_error; }
    const std::filesystem::path& path() const { return m_path; }

    // Path is backslash-separated below `base` (empty components are skipped).
    // createKey makes every missing key on the way; findKey only looks.
    [[nodiscard]] std::optional<KeyId> createKey(KeyId base, std::string_view path);
    [[nodiscard]] std::optional<KeyId> findKey(KeyId base, std::string_view path);
    [[nodiscard]] std::optional<ConfigValue> readValue(KeyId key, std::string_view name);
    // 0 and the value; 2 when missing; another code when the store failed (busy past the
    // timeout, closed, I/O), so that a caller does not mistake a failure for a missing value.
    [[nodiscard]] int readValue(KeyId key, std::string_view name, ConfigValue& out);
    // False when nothing was written (store closed or failed, no such key, a DWORD that is not
    // four bytes, or an earlier failure in the open ConfigTransaction).
    [[nodiscard]] bool writeValue(KeyId key, std::string_view name, ValueType type,
                                  std::string_view data);
    // 0 deleted; 2 no such value (the registry's ERROR_FILE_NOT_FOUND); other codes on failure.
    [[nodiscard]] int deleteValue(KeyId key, std::string_view name);

    std::vector<std::string> subKeyNames(KeyId key);
    std::vector<std::string> valueNames(KeyId key);

    // Deletes the sub-key `name` of `parent` with everything below it, atomically.
    // 0 deleted; 2 no such key; other codes on failure.
    [[nodiscard]] int deleteTree(KeyId parent, std::string_view name);

    // Held by ConfigTransaction for its whole life, so that no other thread's write joins it.
    std::recursive_mutex& mutex() { return m_mutex; }
    // Plain SQL on the connection (BEGIN, COMMIT, ROLLBACK); false on failure.
    [[nodiscard]] bool exec(const char* sql);
    // SQLite's message for the last failed operation (empty when none failed yet).
    std::string lastError();

    // The character that ends every entry of the lists this store holds: the low byte of the
    // product key's DWORD "Separator", written as 9 (TAB) when missing or of another type.
    // Read once and kept for the life of this object, so that lists written and read through
    // it agree; a stored 0 is not kept (TAB is used for that call and the value is read again
    // next time). Any thread.
    char listSeparator();

private:
    friend class ConfigTransaction;
    [[nodiscard]] bool openFile();
    [[nodiscard]] bool createSchema();
    [[nodiscard]] std::optional<int> queryInt(const char* sql);
    sqlite3_stmt* statement(int index);
    // The key `name` right below `parent`: 0 and its id; 2 when missing; else a failure code.
    [[nodiscard]] int findChild(KeyId parent, std::string_view name, KeyId& out);
    // Adds the key `name` below `parent` (taking the write lock): 0 and its id, else a code.
    [[nodiscard]] int insertChild(KeyId parent, std::string_view name, KeyId& out);
    enum class PathWalk { Find, Create };
    // Every walk down a backslash-separated path goes through here (empty components are
    // skipped); Create adds the keys missing on the way. 0 and the id of the key the path
    // names; 2 when a key on the way is missing (Find); else a failure code. The caller holds
    // m_mutex and found the store open.
    [[nodiscard]] int walkPath(KeyId base, std::string_view path, PathWalk walk, KeyId& out);
    [[nodiscard]] int deleteTreeBody(KeyId parent, std::string_view name);
    // Whether a write may go ahead now; false while the open transaction already failed.
    [[nodiscard]] bool writable();
    // Records SQLite's message; inside a transaction the batch can no longer land whole.
    void noteFailure();

    std::filesystem::path m_path;
    std::string m_error;
    std::recursive_mutex m_mutex;  // guards the connection and every prepared statement
    SqliteDb m_db;
    std::vector<SqliteStmt> m_statements;  // prepared once, reset after each use
    int m_transactionDepth = 0;            // ConfigTransactions open on the owning thread
    bool m_transactionBroken = false;      // a write of the open transaction failed
    std::string m_lastError;
    // The opened file, as stat() tells it apart from every other one.
    dev_t m_device = 0;
    ino_t m_inode = 0;
    bool m_hasFile = false;  // false for ":memory:"
    // The kept list separator's byte, or -1 before the first successful read. Any thread may
    // fill it; every caller computes the same value.
    std::atomic<int> m_listSeparator{-1};
};

// Encoding of DWORD values in ConfigValue::data.
std::string encodeDword(std::uint32_t value);
std::optional<std::uint32_t> decodeDword(std::string_view data);

}  // namespace tg
