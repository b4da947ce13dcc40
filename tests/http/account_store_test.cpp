#include "http/account_store.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "config/config_key.h"
#include "support/temp_dir.h"

namespace tg {
namespace {

using namespace std::string_literals;

class AccountStoreTest : public ::testing::Test {
protected:
    // Writes a text or binary value of the account's key by hand, as another tool could.
    void setRaw(const std::string& user, std::string_view name, ValueType type,
                std::string_view data) {
        ConfigKey key(m_store);
        ASSERT_TRUE(key.open("\\accounts\\" + user));
        if (type == ValueType::String) {
            key.setString(name, data);
        } else {
            key.setBinary(name, data);
        }
    }
    std::optional<ConfigValue> raw(const std::string& user, std::string_view name) {
        ConfigKey key(m_store);
        if (!key.openExisting("\\accounts\\" + user)) return std::nullopt;
        return key.queryValue(name);
    }

    test::TempDir m_dir;
    ConfigStore m_store{m_dir.file("store.db")};
    AccountStore m_accounts{m_store};
};

TEST_F(AccountStoreTest, AuthenticateGivesTypeOnlyForExactPasswordBytes) {
    ASSERT_EQ(m_accounts.saveAccount("alice", "secret", AccountType::EditPermission), 0);
    ASSERT_EQ(m_accounts.saveAccount("bob", "p\xc3\xa4ss\0x"s, AccountType::ViewOnly), 0);
    EXPECT_EQ(m_accounts.authenticate("alice", "secret"), 2u);
    EXPECT_EQ(m_accounts.authenticate("bob", "p\xc3\xa4ss\0x"s), 1u);
    EXPECT_EQ(m_accounts.accountType("alice"), 2u);
    EXPECT_EQ(m_accounts.accountType("bob"), 1u);

    for (const std::string& wrong : {"Secret"s, "secret "s, ""s, "secre"s, "secret\0"s}) {
        SCOPED_TRACE(wrong);
        EXPECT_EQ(m_accounts.authenticate("alice", wrong), 0u);
    }
    EXPECT_EQ(m_accounts.authenticate("bob", "p\xc3\xa4ss"), 0u);  // ends at no zero byte
    EXPECT_EQ(m_accounts.authenticate("carol", "secret"), 0u);
    EXPECT_EQ(m_accounts.authenticate("", ""), 0u);
}

TEST_F(AccountStoreTest, StoresUnsaltedMd5AsSixteenByteBinary) {
    ASSERT_EQ(m_accounts.saveAccount("alice", "password", AccountType::ViewOnly), 0);
    ASSERT_EQ(m_accounts.saveAccount("empty", "", AccountType::ViewOnly), 0);
    const std::optional<ConfigValue> digest = raw("alice", "password");
    ASSERT_TRUE(digest);
    EXPECT_EQ(digest->type, ValueType::Binary);
    EXPECT_EQ(digest->data, "\x5f\x4d\xcc\x3b\x5a\xa7\x65\xd6\x1d\x83\x27\xde\xb8\x82\xcf\x99"s);
    EXPECT_EQ(raw("empty", "password")->data,
              "\xd4\x1d\x8c\xd9\x8f\x00\xb2\x04\xe9\x80\x09\x98\xec\xf8\x42\x7e"s);
    const std::optional<ConfigValue> type = raw("alice", "type");
    ASSERT_TRUE(type);
    EXPECT_EQ(type->type, ValueType::Dword);
    EXPECT_EQ(decodeDword(type->data), 1u);
    EXPECT_EQ(m_accounts.authenticate("empty", ""), 1u);
}

TEST_F(AccountStoreTest, NamesDifferingInCaseAreDifferentUsersForAuthenticate) {
    ASSERT_EQ(m_accounts.saveAccount("Alice", "pw", AccountType::ViewOnly), 0);
    EXPECT_EQ(m_accounts.authenticate("Alice", "pw"), 1u);
    EXPECT_EQ(m_accounts.authenticate("alice", "pw"), 0u);
    EXPECT_EQ(m_accounts.authenticate("ALICE", "pw"), 0u);
    // Saving goes through the store's case-insensitive keys: "alice" updates Alice's key,
    // whose listed name stays "Alice".
    ASSERT_EQ(m_accounts.saveAccount("alice", std::nullopt, AccountType::EditPermission), 0);
    EXPECT_EQ(m_accounts.listAccounts(), std::vector<std::string>{"Alice"});
    EXPECT_EQ(m_accounts.authenticate("Alice", "pw"), 2u);
    EXPECT_EQ(m_accounts.authenticate("alice", "pw"), 0u);
}

TEST_F(AccountStoreTest, SaveWithoutPasswordKeepsStoredDigest) {
    ASSERT_EQ(m_accounts.saveAccount("bob", "old", AccountType::EditPermission), 0);
    ASSERT_EQ(m_accounts.saveAccount("bob", std::nullopt, AccountType::ViewOnly), 0);
    EXPECT_EQ(m_accounts.authenticate("bob", "old"), 1u);
    ASSERT_EQ(m_accounts.saveAccount("bob", "new", AccountType::ViewOnly), 0);
    EXPECT_EQ(m_accounts.authenticate("bob", "old"), 0u);
    EXPECT_EQ(m_accounts.authenticate("bob", "new"), 1u);
    // An account saved without any password never authenticates.
    ASSERT_EQ(m_accounts.saveAccount("nopw", std::nullopt, AccountType::EditPermission), 0);
    EXPECT_EQ(m_accounts.authenticate("nopw", ""), 0u);
}

TEST_F(AccountStoreTest, SaveRefusesTypeNoneUnknownTypesAndNamesThatAreNotKeys) {
    EXPECT_EQ(m_accounts.saveAccount("alice", "pw", AccountType::None), 1);
    EXPECT_EQ(m_accounts.saveAccount("alice", "pw", static_cast<AccountType>(3)), 1);
    EXPECT_EQ(m_accounts.saveAccount("", "pw", AccountType::ViewOnly), 1);
    EXPECT_EQ(m_accounts.saveAccount("a\\b", "pw", AccountType::ViewOnly), 1);
    EXPECT_EQ(m_accounts.saveAccount("\\", "pw", AccountType::ViewOnly), 1);
    // Names that Basic credentials cannot carry could never log in.
    EXPECT_EQ(m_accounts.saveAccount("a:b", "pw", AccountType::ViewOnly), 1);
    EXPECT_EQ(m_accounts.saveAccount("a\tb", "pw", AccountType::ViewOnly), 1);
    EXPECT_FALSE(m_accounts.anyAccountExists());
    EXPECT_FALSE(raw("", "password"));  // nothing written on the accounts key itself
    EXPECT_EQ(m_accounts.deleteAccount(""), 1);
    EXPECT_EQ(m_accounts.deleteAccount("a\\b"), 1);
}

TEST_F(AccountStoreTest, UnknownNamesAndAClosedStoreAreRefusedQuietlyAndCreateNoAccount) {
    ConfigStore closed(m_dir.file("missing/folder/store.db"));
    ASSERT_FALSE(closed.isOpen());
    AccountStore closedAccounts(closed);
    EXPECT_EQ(closedAccounts.saveAccount("alice", "pw", AccountType::ViewOnly), 1);
    for (AccountStore* accounts : {&m_accounts, &closedAccounts}) {
        EXPECT_FALSE(accounts->anyAccountExists());
        EXPECT_EQ(accounts->authenticate("alice", "pw"), 0u);
        EXPECT_EQ(accounts->accountType("alice"), 0u);
        EXPECT_EQ(accounts->deleteAccount("alice"), 1);
        EXPECT_TRUE(accounts->listAccounts().empty());
        EXPECT_FALSE(accounts->anyAccountExists());
    }
}

TEST_F(AccountStoreTest, DeleteRemovesAccountWithItsValues) {
    ASSERT_EQ(m_accounts.saveAccount("carol", "pw", AccountType::ViewOnly), 0);
    ASSERT_EQ(m_accounts.saveAccount("Bob", "pw", AccountType::ViewOnly), 0);
    ASSERT_EQ(m_accounts.saveAccount("alice", "pw", AccountType::EditPermission), 0);
    EXPECT_EQ(m_accounts.listAccounts(), (std::vector<std::string>{"alice", "Bob", "carol"}));

    EXPECT_EQ(m_accounts.deleteAccount("bob"), 0);  // keys compare without regard to case
    EXPECT_EQ(m_accounts.deleteAccount("bob"), 1);
    EXPECT_EQ(m_accounts.listAccounts(), (std::vector<std::string>{"alice", "carol"}));
    EXPECT_EQ(m_accounts.authenticate("Bob", "pw"), 0u);
    EXPECT_FALSE(raw("Bob", "password"));

    EXPECT_EQ(m_accounts.deleteAccount("alice"), 0);
    EXPECT_EQ(m_accounts.deleteAccount("carol"), 0);
    EXPECT_FALSE(m_accounts.anyAccountExists());
    // A new account of a deleted name starts without the old digest.
    ASSERT_EQ(m_accounts.saveAccount("alice", std::nullopt, AccountType::ViewOnly), 0);
    EXPECT_EQ(m_accounts.authenticate("alice", "pw"), 0u);
}

TEST_F(AccountStoreTest, OddStoredValuesNeverMatchOrCrash) {
    const std::string digest(
        reinterpret_cast<const char*>(AccountStore::passwordDigest("pw")->data()), 16);
    setRaw("short", "password", ValueType::Binary, digest.substr(0, 15));
    setRaw("long", "password", ValueType::Binary, digest + "x");
    setRaw("empty", "password", ValueType::Binary, "");
    setRaw("text", "password", ValueType::String, digest);
    for (const char* user : {"short", "long", "empty", "text"}) {
        SCOPED_TRACE(user);
        EXPECT_EQ(m_accounts.authenticate(user, "pw"), 0u);
    }

    // A right digest without `type` authenticates as ViewOnly; accountType says 0.
    setRaw("untyped", "password", ValueType::Binary, digest);
    EXPECT_EQ(m_accounts.authenticate("untyped", "pw"), 1u);
    EXPECT_EQ(m_accounts.accountType("untyped"), 0u);
    // A `type` that is not a DWORD counts as missing.
    setRaw("texttype", "password", ValueType::Binary, digest);
    setRaw("texttype", "type", ValueType::String, "2");
    EXPECT_EQ(m_accounts.authenticate("texttype", "pw"), 1u);
    EXPECT_EQ(m_accounts.accountType("texttype"), 0u);
}

TEST_F(AccountStoreTest, ConcurrentSaveAndAuthenticateKeepEveryAccount) {
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([this, t, &failures] {
            for (int i = 0; i < 25; ++i) {
                const std::string name = "user" + std::to_string(t) + "_" + std::to_string(i);
                if (m_accounts.saveAccount(name, name, AccountType::EditPermission) != 0 ||
                    m_accounts.authenticate(name, name) != 2u) {
                    ++failures[t];
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failures, std::vector<int>(4, 0));
    EXPECT_EQ(m_accounts.listAccounts().size(), 100u);
}

}  // namespace
}  // namespace tg
