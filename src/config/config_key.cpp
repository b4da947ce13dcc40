#include "config/config_key.h"

#include <string>

namespace tg {

bool ConfigKey::open(std::string_view subPath, std::string_view basePath) {
    m_key.reset();
    std::string path(basePath);
    path += subPath;
    m_key = m_store->createKey(kRootKey, path);
    return m_key.has_value();
}

bool ConfigKey::openExisting(std::string_view subPath, std::string_view basePath) {
    m_key.reset();
    std::string path(basePath);
    path += subPath;
    m_key = m_store->findKey(kRootKey, path);
    return m_key.has_value();
}

std::string ConfigKey::getString(std::string_view name,
                                 std::optional<std::string_view> defaultText) {
    if (!m_key) return std::string(defaultText.value_or(std::string_view{}));
    ConfigValue value;
    const int rc = m_store->readValue(*m_key, name, value);
    if (rc == kStoreOk && value.type == ValueType::String) return std::move(value.data);
    if (!defaultText) return {};
    // A read that failed (busy past the timeout, I/O) says nothing about the stored value:
    // writing the default then could replace a good value.
    if (rc == kStoreOk || rc == kStoreMissing) {
        (void)m_store->writeValue(*m_key, name, ValueType::String, *defaultText);
    }
    return std::string(*defaultText);
}

int ConfigKey::queryString(std::string_view name, std::string& out) {
    out.clear();
    if (!m_key) return kStoreMissing;
    ConfigValue value;
    const int rc = m_store->readValue(*m_key, name, value);
    if (rc != kStoreOk) return rc;
    if (value.type != ValueType::String) return kStoreNotText;
    out = std::move(value.data);
    return kStoreOk;
}

std::uint32_t ConfigKey::getDword(std::string_view name, std::uint32_t defaultValue) {
    if (!m_key) return defaultValue;
    ConfigValue value;
    const int rc = m_store->readValue(*m_key, name, value);
    if (rc == kStoreOk && value.type == ValueType::Dword) {
        if (std::optional<std::uint32_t> number = decodeDword(value.data)) return *number;
    }
    if (rc == kStoreOk || rc == kStoreMissing) {
        (void)m_store->writeValue(*m_key, name, ValueType::Dword, encodeDword(defaultValue));
    }
    return defaultValue;
}

void ConfigKey::setString(std::string_view name, std::string_view text) {
    if (m_key) (void)m_store->writeValue(*m_key, name, ValueType::String, text);
}

void ConfigKey::setDword(std::string_view name, std::uint32_t value) {
    if (m_key) (void)m_store->writeValue(*m_key, name, ValueType::Dword, encodeDword(value));
}

void ConfigKey::setBinary(std::string_view name, std::string_view bytes) {
    if (m_key) (void)m_store->writeValue(*m_key, name, ValueType::Binary, bytes);
}

std::optional<ConfigValue> ConfigKey::queryValue(std::string_view name) {
    if (!m_key) return std::nullopt;
    return m_store->readValue(*m_key, name);
}

int ConfigKey::deleteValue(std::string_view name) {
    if (!m_key) return kStoreMissing;
    return m_store->deleteValue(*m_key, name);
}

std::vector<std::string> ConfigKey::subKeyNames() {
    if (!m_key) return {};
    return m_store->subKeyNames(*m_key);
}

std::vector<std::string> ConfigKey::valueNames() {
    if (!m_key) return {};
    return m_store->valueNames(*m_key);
}

int ConfigKey::deleteTree(std::string_view name) {
    if (!m_key) return kStoreMissing;
    return m_store->deleteTree(*m_key, name);
}

}  // namespace tg
