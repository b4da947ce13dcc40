#include "http/account_store.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <algorithm>

#include "config/config_key.h"
#include "config/config_transaction.h"

namespace tg {

namespace {

constexpr std::string_view kAccountsKey = "\\accounts";
constexpr std::string_view kPasswordValue = "password";
constexpr std::string_view kTypeValue = "type";

// A backslash would open a key further down and an empty name the accounts key itself.
bool isAccountName(std::string_view userName) {
    return !userName.empty() && userName.find('\\') == std::string_view::npos;
}

// New accounts also keep to what Basic credentials can carry: no ':' in the name, no control
// characters. Older accounts with such names can still be listed and deleted.
bool isNewAccountName(std::string_view userName) {
    if (!isAccountName(userName) || userName.find(':') != std::string_view::npos) return false;
    for (const char c : userName) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    }
    return true;
}

std::string accountPath(std::string_view userName) {
    std::string path(kAccountsKey);
    path += '\\';
    path += userName;
    return path;
}

bool isKnownType(AccountType type) {
    return type == AccountType::ViewOnly || type == AccountType::EditPermission;
}

// The account's `type` when it is stored as a DWORD; none when missing or of another kind.
std::optional<std::uint32_t> storedType(ConfigKey& account) {
    const std::optional<ConfigValue> value = account.queryValue(kTypeValue);
    if (!value || value->type != ValueType::Dword) return std::nullopt;
    return decodeDword(value->data);
}

}  // namespace

std::optional<PasswordDigest> AccountStore::passwordDigest(std::string_view password) {
    PasswordDigest digest{};
    unsigned int length = 0;
    const void* data = password.empty() ? "" : password.data();
    if (EVP_Digest(data, password.size(), digest.data(), &length, EVP_md5(), nullptr) != 1 ||
        length != digest.size()) {
        return std::nullopt;
    }
    return digest;
}

int AccountStore::saveAccount(std::string_view userName, std::optional<std::string_view> password,
                              AccountType type) {
    if (!isKnownType(type) || !isNewAccountName(userName)) return 1;
    std::optional<PasswordDigest> digest;
    if (password) {
        digest = passwordDigest(*password);
        if (!digest) return 1;
    }
    std::lock_guard lock(m_lock);
    ConfigTransaction transaction(m_store);
    ConfigKey account(m_store);
    if (!account.open(accountPath(userName))) return 1;
    if (digest) {
        account.setBinary(
            kPasswordValue,
            std::string_view(reinterpret_cast<const char*>(digest->data()), digest->size()));
    }
    account.setDword(kTypeValue, static_cast<std::uint32_t>(type));
    return transaction.commit() ? 0 : 1;
}

int AccountStore::deleteAccount(std::string_view userName) {
    if (!isAccountName(userName)) return 1;
    std::lock_guard lock(m_lock);
    ConfigKey accounts(m_store);
    if (!accounts.openExisting(kAccountsKey)) return 1;
    return accounts.deleteTree(userName) == kStoreOk ? 0 : 1;
}

std::uint32_t AccountStore::accountType(std::string_view userName) {
    if (!isAccountName(userName)) return 0;
    std::lock_guard lock(m_lock);
    ConfigKey account(m_store);
    // Reads never create: a looked-up name must not turn into an (empty) account.
    if (!account.openExisting(accountPath(userName))) return 0;
    return storedType(account).value_or(0);
}

bool AccountStore::anyAccountExists() {
    std::lock_guard lock(m_lock);
    return !namesLocked().empty();
}

std::uint32_t AccountStore::authenticate(std::string_view userName, std::string_view password) {
    // Hashed before looking the name up, so that an unknown name costs the same.
    const std::optional<PasswordDigest> digest = passwordDigest(password);
    std::lock_guard lock(m_lock);
    const std::vector<std::string> names = namesLocked();
    // Byte for byte: the store's case-insensitive lookup alone would let "ALICE" in as "Alice".
    if (std::find(names.begin(), names.end(), userName) == names.end()) return 0;
    ConfigKey account(m_store);
    if (!account.openExisting(accountPath(userName))) return 0;
    const std::optional<ConfigValue> stored = account.queryValue(kPasswordValue);
    if (!stored || stored->type != ValueType::Binary || !digest ||
        stored->data.size() != digest->size()) {
        return 0;
    }
    if (CRYPTO_memcmp(stored->data.data(), digest->data(), digest->size()) != 0) return 0;
    return storedType(account).value_or(static_cast<std::uint32_t>(AccountType::ViewOnly));
}

std::vector<std::string> AccountStore::listAccounts() {
    std::lock_guard lock(m_lock);
    return namesLocked();
}

std::vector<std::string> AccountStore::namesLocked() {
    ConfigKey accounts(m_store);
    if (!accounts.openExisting(kAccountsKey)) return {};
    return accounts.subKeyNames();
}

}  // namespace tg
