#include "config/config_store.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "config/config_key.h"
#include "config/config_transaction.h"
#include "support/temp_dir.h"

namespace tg {
namespace {

// Rows of one table, read past the store to find what its own API cannot show (orphans).
int countRows(const std::string& path, const char* table) {
    sqlite3* raw = nullptr;
    sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    SqliteDb db(raw);
    sqlite3_stmt* stmtRaw = nullptr;
    const std::string sql = std::string("SELECT count(*) FROM ") + table;
    if (sqlite3_prepare_v2(raw, sql.c_str(), -1, &stmtRaw, nullptr) != SQLITE_OK) return -1;
    SqliteStmt stmt(stmtRaw);
    return sqlite3_step(stmtRaw) == SQLITE_ROW ? sqlite3_column_int(stmtRaw, 0) : -1;
}

TEST(ConfigStoreTest, GarbageFileStaysClosedUntouchedAndKeysFallBackToDefaults) {
    test::TempDir dir;
    const std::string path = dir.file("store.db");
    std::string garbage;
    for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 7919) % 251);
    std::ofstream(path, std::ios::binary) << garbage;

    ConfigStore store(path);
    EXPECT_FALSE(store.isOpen());
    EXPECT_NE(store.error().find("not a database"), std::string::npos) << store.error();

    ConfigKey key(store);
    EXPECT_FALSE(key.open("\\http"));
    EXPECT_EQ(key.getDword("Port", 80), 80u);
    EXPECT_EQ(key.getString("LogPath", "web.log"), "web.log");
    key.setString("LogPath", "x");
    EXPECT_FALSE(store.createKey(kRootKey, "a\\b"));
    EXPECT_FALSE(store.writeValue(kRootKey, "v", ValueType::Dword, encodeDword(1)));
    EXPECT_NE(store.deleteTree(kRootKey, "a"), 0);
    EXPECT_TRUE(store.subKeyNames(kRootKey).empty());
    {
        ConfigTransaction transaction(store);
        EXPECT_FALSE(transaction.commit());
    }
    EXPECT_EQ(test::readFile(path), garbage);
}

TEST(ConfigStoreTest, MissingFolderOrAnotherProgramsDatabaseIsRefused) {
    test::TempDir dir;
    ConfigStore noFolder(dir.file("missing/store.db"));
    EXPECT_FALSE(noFolder.isOpen());
    EXPECT_FALSE(noFolder.error().empty());

    ConfigStore noPath("");
    EXPECT_FALSE(noPath.isOpen());

    const std::string foreign = dir.file("other.db");
    {
        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open(foreign.c_str(), &raw), SQLITE_OK);
        SqliteDb db(raw);
        ASSERT_EQ(sqlite3_exec(raw, "CREATE TABLE notes(x)", nullptr, nullptr, nullptr), 0);
    }
    ConfigStore other(foreign);
    EXPECT_FALSE(other.isOpen());
    EXPECT_NE(other.error().find("not a Tessellgrove store"), std::string::npos);
    EXPECT_EQ(countRows(foreign, "keys"), -1);  // nothing of ours was added to it
}

TEST(ConfigStoreTest, DeleteTreeRemovesADeepTreeAndWhatItLeftSurvivesReopening) {
    test::TempDir dir;
    const std::string path = dir.file("store.db");
    {
        ConfigStore store(path);
        ConfigKey key(store);
        std::string deep = "\\diagrams\\deep";
        for (int level = 0; level < 200; ++level) {
            ASSERT_TRUE(key.open(deep));
            key.setDword("level", static_cast<std::uint32_t>(level));
            key.setString("name", "n" + std::to_string(level));
            deep += "\\k" + std::to_string(level);
        }
        ConfigKey sibling(store);
        ASSERT_TRUE(sibling.open("\\diagrams\\kept"));
        sibling.setString("x", "^(.*)$");

        ConfigKey diagrams(store);
        ASSERT_TRUE(diagrams.openExisting("\\diagrams"));
        EXPECT_EQ(diagrams.deleteTree("DEEP"), 0);
        EXPECT_EQ(diagrams.deleteTree("deep"), 2);
        EXPECT_EQ(diagrams.deleteTree("never"), 2);
        EXPECT_EQ(diagrams.deleteTree("kept\\\\never\\"), 2);  // the walk stops at "never"
        EXPECT_EQ(diagrams.deleteTree("\\\\"), 87);  // names no key below, only the parent
        EXPECT_EQ(diagrams.subKeyNames(), std::vector<std::string>{"kept"});
        EXPECT_FALSE(key.openExisting("\\diagrams\\deep\\k0"));
    }
    // Product path (4) + diagrams + kept remain; only kept's one value.
    EXPECT_EQ(countRows(path, "keys"), 6);
    EXPECT_EQ(countRows(path, "key_values"), 1);
    ConfigStore reopened(path);
    ASSERT_TRUE(reopened.isOpen()) << reopened.error();
    ConfigKey kept(reopened);
    ASSERT_TRUE(kept.openExisting("\\diagrams\\kept"));
    EXPECT_EQ(kept.getString("x"), "^(.*)$");
}

// Two threads on one connection, plain writes; a third on a second connection of the same file,
// in transactions (BEGIN IMMEDIATE waits for the other connection to let go of the write lock).
TEST(ConfigStoreTest, WritesFromThreadsAndFromTwoConnectionsOnOneFileAllLand) {
    test::TempDir dir;
    const std::string path = dir.file("store.db");
    ConfigStore daemon(path);
    ConfigStore tool(path);
    ASSERT_TRUE(daemon.isOpen() && tool.isOpen()) << daemon.error() << tool.error();
    constexpr int kWrites = 600;
    auto writer = [](ConfigStore* store, const std::string& prefix, bool inTransactions) {
        ConfigKey key(*store);
        ASSERT_TRUE(key.open("\\shared\\" + prefix));
        for (int i = 0; i < kWrites; ++i) {
            std::optional<ConfigTransaction> transaction;
            if (inTransactions) transaction.emplace(*store);
            key.setDword("v" + std::to_string(i), static_cast<std::uint32_t>(i));
            if (transaction) {
                ASSERT_TRUE(transaction->commit()) << store->lastError();
            }
        }
    };
    std::thread first(writer, &daemon, "a", false);
    std::thread second(writer, &daemon, "b", false);
    std::thread third(writer, &tool, "tool", true);
    first.join();
    second.join();
    third.join();
    ConfigKey key(daemon);
    for (const char* prefix : {"a", "b", "tool"}) {
        ASSERT_TRUE(key.openExisting(std::string("\\shared\\") + prefix));
        EXPECT_EQ(key.valueNames().size(), static_cast<std::size_t>(kWrites)) << prefix;
        EXPECT_EQ(key.getDword("v599", 0), 599u);
    }
}

// Each store keeps the separator of its own lists, so that one never writes with another's.
TEST(ConfigStoreTest, ListSeparatorIsReadOncePerStore) {
    test::TempDir dir;
    ConfigStore missing(dir.path() / "missing.db");
    EXPECT_EQ(missing.listSeparator(), '\t');
    ConfigKey written(missing);
    ASSERT_TRUE(written.openExisting(""));
    EXPECT_EQ(written.getDword("Separator", 0), 9u);

    ConfigStore comma(dir.path() / "comma.db");
    ConfigKey commaKey(comma);
    (void)commaKey.open("");
    commaKey.setDword("Separator", 0x12C);  // the low byte is ','
    EXPECT_EQ(comma.listSeparator(), ',');
    commaKey.setDword("Separator", '|');
    EXPECT_EQ(comma.listSeparator(), ',');  // read once
    EXPECT_EQ(missing.listSeparator(), '\t');

    ConfigStore zero(dir.path() / "zero.db");
    ConfigKey zeroKey(zero);
    (void)zeroKey.open("");
    zeroKey.setDword("Separator", 0);
    EXPECT_EQ(zero.listSeparator(), '\t');
    zeroKey.setDword("Separator", ';');
    EXPECT_EQ(zero.listSeparator(), ';');
}

TEST(ConfigStoreTest, NoticesWhenItsPathNoLongerNamesTheOpenFile) {
    test::TempDir dir;
    const std::string path = dir.file("store.db");
    ConfigStore store(path);
    ASSERT_TRUE(store.isOpen());
    EXPECT_TRUE(store.checkWritable());
    EXPECT_EQ(store.pathProblem(), "");

    std::filesystem::rename(path, dir.file("moved.db"));
    EXPECT_NE(store.pathProblem().find("deleted"), std::string::npos) << store.pathProblem();
    std::ofstream(path) << "";  // a new file under the old name
    EXPECT_NE(store.pathProblem().find("another file"), std::string::npos);
    std::filesystem::rename(dir.file("moved.db"), path);
    EXPECT_EQ(store.pathProblem(), "");
    EXPECT_EQ(ConfigStore(":memory:").pathProblem(), "");
}

}  // namespace
}  // namespace tg
