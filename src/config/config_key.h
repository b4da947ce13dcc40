#pragma once
// One open key of the configuration store, owned by one object and used by one thread at a
// time. Opening creates the key when it is missing. Without an open key (never opened, the
// store closed, or the open failed) reads yield their defaults and writes do nothing: store
// failures are silent, callers see only results.
//
// Reads with a default write the default back when the value is missing or of another type,
// so after a first run every value the program reads exists in the store. Texts of any
// length read back whole.
//
// Failures: open and openExisting answer whether a key is open; queryString, deleteValue
// and deleteTree answer the store's codes (0, 2 missing, ...); queryValue an empty optional.
// These are [[nodiscard]]: a caller that drops one says why. The setters answer nothing, as
// store failures are silent; a caller that must know whether a batch landed writes it in a
// ConfigTransaction and checks commit().

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/config_store.h"

namespace tg {

class ConfigKey {
public:
    explicit ConfigKey(ConfigStore& store) : m_store(&store) {}

    // Opens (creating) root \ (base + subPath); the caller supplies any backslash between them.
    // Returns whether a key is now open; a previously held key is let go first.
    [[nodiscard]] bool open(std::string_view subPath, std::string_view basePath = kProductKey);
    // Opens root \ (base + subPath) only when it exists.
    [[nodiscard]] bool openExisting(std::string_view subPath,
                                    std::string_view basePath = kProductKey);
    void close() { m_key.reset(); }
    bool isOpen() const { return m_key.has_value(); }

    // The stored text when the value exists and is a text. Otherwise, with a default, writes
    // the default and yields it; without one, yields the empty text. No key: the default.
    std::string getString(std::string_view name,
                          std::optional<std::string_view> defaultText = std::nullopt);
    // 0 and the text on success; 2 when missing (or no key); 13 when the value is not a text.
    [[nodiscard]] int queryString(std::string_view name, std::string& out);
    // The stored number when the value exists and is a DWORD; otherwise writes and yields the
    // default. No key: the default.
    std::uint32_t getDword(std::string_view name, std::uint32_t defaultValue);
    void setString(std::string_view name, std::string_view text);
    void setDword(std::string_view name, std::uint32_t value);
    void setBinary(std::string_view name, std::string_view bytes);
    // Any type, read as stored; none when missing. Never writes.
    [[nodiscard]] std::optional<ConfigValue> queryValue(std::string_view name);
    // 0 deleted; 2 missing or no key.
    [[nodiscard]] int deleteValue(std::string_view name);

    // Sub-key and value names in enumeration (case-insensitive name) order.
    std::vector<std::string> subKeyNames();
    std::vector<std::string> valueNames();
    // Deletes the sub-key `name` with everything below it: 0, 2 when missing, else a code.
    [[nodiscard]] int deleteTree(std::string_view name);

    ConfigStore& store() { return *m_store; }

private:
    ConfigStore* m_store;
    std::optional<KeyId> m_key;
};

}  // namespace tg
