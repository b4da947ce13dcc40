#include "config/config_transaction.h"

#include <gtest/gtest.h>

#include <string>

#include "config/config_key.h"
#include "support/temp_dir.h"

namespace tg {
namespace {

class ConfigTransactionTest : public ::testing::Test {
protected:
    test::TempDir m_dir;
    ConfigStore m_store{m_dir.file("store.db")};

    // What another process sees: a second connection on the same file.
    std::optional<std::uint32_t> storedDword(std::string_view path, std::string_view name) {
        ConfigStore other(m_dir.file("store.db"));
        ConfigKey key(other);
        if (!key.openExisting(path)) return std::nullopt;
        std::optional<ConfigValue> value = key.queryValue(name);
        if (!value) return std::nullopt;
        return decodeDword(value->data);
    }
};

TEST_F(ConfigTransactionTest, CommitLandsEveryWriteAndRollbackLandsNone) {
    {
        ConfigTransaction transaction(m_store);
        ConfigKey key(m_store);
        ASSERT_TRUE(key.open("\\diagrams\\saved"));
        key.setDword("a", 1);
        key.setDword("b", 2);
        ASSERT_TRUE(transaction.commit());
    }
    EXPECT_EQ(storedDword("\\diagrams\\saved", "b"), 2u);
    {
        ConfigTransaction transaction(m_store);
        ConfigKey key(m_store);
        ASSERT_TRUE(key.open("\\diagrams\\dropped"));
        key.setDword("a", 1);
        ConfigKey saved(m_store);
        ASSERT_TRUE(saved.open("\\diagrams\\saved"));
        saved.setDword("a", 10);
        EXPECT_EQ(saved.deleteTree("nothing"), 2);
    }  // no commit
    EXPECT_EQ(storedDword("\\diagrams\\saved", "a"), 1u);
    ConfigKey diagrams(m_store);
    ASSERT_TRUE(diagrams.openExisting("\\diagrams"));
    EXPECT_EQ(diagrams.subKeyNames(), std::vector<std::string>{"saved"});
}

TEST_F(ConfigTransactionTest, NestedTransactionJoinsTheOuterOne) {
    ConfigKey key(m_store);
    ASSERT_TRUE(key.open("\\nested"));
    {
        ConfigTransaction outer(m_store);
        key.setDword("outer", 1);
        {
            ConfigTransaction inner(m_store);
            key.setDword("inner", 1);
            EXPECT_TRUE(inner.commit());
        }
        EXPECT_FALSE(storedDword("\\nested", "inner"));  // not yet: the outer decides
    }  // outer rolled back: the inner's writes go with it
    EXPECT_FALSE(storedDword("\\nested", "inner"));
    EXPECT_FALSE(storedDword("\\nested", "outer"));
    {
        ConfigTransaction outer(m_store);
        key.setDword("outer", 2);
        {
            ConfigTransaction abandoned(m_store);
            key.setDword("abandoned", 1);
            EXPECT_EQ(key.deleteTree("none"), 2);
        }  // undoes only its own writes
        {
            ConfigTransaction inner(m_store);
            key.setDword("inner", 2);
            EXPECT_TRUE(inner.commit());
        }
        EXPECT_TRUE(outer.commit());
    }
    EXPECT_EQ(storedDword("\\nested", "outer"), 2u);
    EXPECT_EQ(storedDword("\\nested", "inner"), 2u);
    EXPECT_FALSE(storedDword("\\nested", "abandoned"));
}

TEST_F(ConfigTransactionTest, DeleteTreeInsideATransactionFollowsItsOutcome) {
    ConfigKey tree(m_store);
    ASSERT_TRUE(tree.open("\\t\\a\\b\\c"));
    tree.setDword("v", 1);
    ConfigKey top(m_store);
    ASSERT_TRUE(top.openExisting("\\t"));
    {
        ConfigTransaction transaction(m_store);
        EXPECT_EQ(top.deleteTree("a"), 0);
        EXPECT_TRUE(top.subKeyNames().empty());
    }
    EXPECT_EQ(storedDword("\\t\\a\\b\\c", "v"), 1u);
    {
        ConfigTransaction transaction(m_store);
        EXPECT_EQ(top.deleteTree("a"), 0);
        EXPECT_TRUE(transaction.commit());
    }
    EXPECT_FALSE(storedDword("\\t\\a\\b\\c", "v"));
}

TEST_F(ConfigTransactionTest, AFailedWriteKeepsTheWholeBatchOut) {
    ConfigKey gone(m_store);
    ASSERT_TRUE(gone.open("\\diagrams\\gone"));
    ConfigKey diagrams(m_store);
    ASSERT_TRUE(diagrams.openExisting("\\diagrams"));
    ASSERT_EQ(diagrams.deleteTree("gone"), 0);  // `gone` still holds the deleted key's id

    ConfigKey kept(m_store);
    ASSERT_TRUE(kept.open("\\diagrams\\kept"));
    {
        ConfigTransaction transaction(m_store);
        kept.setDword("first", 1);
        gone.setDword("lost", 1);  // refused: the key no longer exists
        kept.setDword("after", 1);
        EXPECT_FALSE(transaction.commit());
    }
    EXPECT_FALSE(storedDword("\\diagrams\\kept", "first"));
    EXPECT_FALSE(storedDword("\\diagrams\\kept", "after"));
    EXPECT_FALSE(storedDword("\\diagrams\\kept", "lost"));  // never in the next new key

    // The next transaction starts sound again.
    ConfigTransaction transaction(m_store);
    kept.setDword("first", 2);
    EXPECT_TRUE(transaction.commit());
    EXPECT_EQ(storedDword("\\diagrams\\kept", "first"), 2u);
}

}  // namespace
}  // namespace tg
