#pragma once
// The web application's user accounts, kept in the configuration store below the product
// key as `accounts\<user name>`, each with two values:
//   password  REG_BINARY  the 16-byte MD5 digest of the password's bytes (unsalted; the
//                         password itself is never stored)
//   type      REG_DWORD   1 ViewOnly, 2 EditPermission
//
// Any thread. Every operation holds the store's own lock (m_lock) for its whole duration;
// nothing else takes it. Lock order: m_lock, then the configuration store's lock.
//
// Names: authenticate() matches the user name byte for byte against the key names as the
// store lists them, so "Alice" and "alice" are different users there. The other operations
// address the key through the store, whose key names compare without regard to ASCII case.
// A name that is empty or holds a backslash cannot be a key name: it is never saved,
// deleted or matched. Nor is a name with ':' or a control character saved: Basic credentials
// cannot carry it, so such an account could never log in (one stored earlier can still be
// deleted). Passwords are bytes; the editors refuse a zero byte, which Basic cannot carry.

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/config_store.h"

namespace tg {

// Stored as the account's `type`; authenticate() yields None (0) for no match, and None is
// never stored.
enum class AccountType : std::uint32_t { None = 0, ViewOnly = 1, EditPermission = 2 };

using PasswordDigest = std::array<unsigned char, 16>;

class AccountStore {
public:
    explicit AccountStore(ConfigStore& store) : m_store(store) {}
    AccountStore(const AccountStore&) = delete;
    AccountStore& operator=(const AccountStore&) = delete;

    // Creates or updates the account. With a password, stores its digest; without one, keeps
    // the stored digest (if any). Password and type land together or not at all.
    // 0 saved; 1 refused (type None or not a known type, a name that cannot be a key name)
    // or not written (store closed or failed, MD5 unavailable).
    [[nodiscard]] int saveAccount(std::string_view userName,
                                  std::optional<std::string_view> password, AccountType type);
    // 0 deleted with its values; 1 no such account, a bad name, or the store failed.
    [[nodiscard]] int deleteAccount(std::string_view userName);
    // The stored type as a number; 0 when the account or its DWORD `type` is missing.
    std::uint32_t accountType(std::string_view userName);
    // True when at least one account key exists.
    bool anyAccountExists();
    // The stored type (1 when the account has no `type`) when the name equals a listed
    // account name exactly and the password's digest equals the stored 16 bytes; otherwise 0,
    // also when the stored digest is missing, not binary or not 16 bytes long.
    std::uint32_t authenticate(std::string_view userName, std::string_view password);
    // User names in the store's enumeration order (case-insensitive name order).
    std::vector<std::string> listAccounts();

    // MD5 (RFC 1321) of the bytes as given; none only when the crypto library refuses MD5.
    static std::optional<PasswordDigest> passwordDigest(std::string_view password);

private:
    std::vector<std::string> namesLocked();

    ConfigStore& m_store;
    std::mutex m_lock;  // held by every operation for its whole duration
};

}  // namespace tg
