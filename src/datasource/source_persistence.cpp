// A data source's definition in the store: one key per source under "sources".

#include <sys/stat.h>
#include <unistd.h>

#include "config/config_key.h"
#include "datasource/data_source.h"
#include "datasource/list_text.h"
#include "datasource/source_keys.h"

namespace tg {
namespace {

std::uint32_t low(std::uint64_t value) { return static_cast<std::uint32_t>(value); }
std::uint32_t high(std::uint64_t value) { return static_cast<std::uint32_t>(value >> 32); }

// An extra value that exists only when needed, so stores of small files look as they always
// did.
void writeHighPart(ConfigKey& key, std::string_view name, std::uint32_t value) {
    if (value != 0) {
        key.setDword(name, value);
    } else if (key.queryValue(name)) {
        key.deleteValue(name);
    }
}

std::uint64_t storedDword(ConfigKey& key, std::string_view name) {
    const auto value = key.queryValue(name);
    if (!value || value->type != ValueType::Dword) return 0;
    return decodeDword(value->data).value_or(0);
}

}  // namespace

std::string sourceKeyPath(std::string_view name) {
    std::string path(kSourcesKey);
    path += '\\';
    path += name;
    return path;
}

void writePosition(ConfigKey& key, const ReadPosition& position, SourceType type) {
    key.setDword("lastpos", low(position.offset));
    writeHighPart(key, "lastposhigh", high(position.offset));
    if (type == SourceType::File) {
        key.setDword("lastinode", low(position.fileId));
        writeHighPart(key, "lastinodehigh", high(position.fileId));
    }
}

void writeBackupLength(ConfigKey& key, std::uint64_t length) {
    key.setDword("backuplength", low(length));
    writeHighPart(key, "backuplengthhigh", high(length));
}

std::optional<std::uint64_t> readBackupLength(ConfigKey& key) {
    if (!key.queryValue("backuplength")) return std::nullopt;
    return storedDword(key, "backuplength") | storedDword(key, "backuplengthhigh") << 32;
}

ReadPosition readStoredPosition(ConfigKey& key) {
    ReadPosition position;
    position.offset = key.getDword("lastpos", 0) | storedDword(key, "lastposhigh") << 32;
    position.fileId = storedDword(key, "lastinode") | storedDword(key, "lastinodehigh") << 32;
    return position;
}

void DataSource::load(std::string_view name) {
    std::lock_guard lock(m_lock);
    m_name.assign(name);
    ConfigKey key(m_store);
    key.open(sourceKeyPath(m_name));
    setType(sourceTypeFromCode(key.getDword("type", 0)));
    setRegexp(key.getString("regexp", ""));
    setConnect(key.getString("connect", ""));
    setBackup(key.getString("backup", ""));
    m_fieldNames = splitList(key.getString("fields", ""), ',');
    const std::uint64_t generation = m_position.generation;
    m_position = readStoredPosition(key);
    m_position.generation = generation;
    // Records duplicated after the stored data was saved (the process ended abruptly) are
    // read again from the log itself: their copies go, or a rebuild would count them twice.
    const auto length = readBackupLength(key);
    struct stat status;
    if (length && !m_backup.empty() && ::stat(m_backup.c_str(), &status) == 0 &&
        static_cast<std::uint64_t>(status.st_size) > *length) {
        [[maybe_unused]] int rc = ::truncate(m_backup.c_str(), static_cast<off_t>(*length));
    }
}

void DataSource::save() {
    std::lock_guard lock(m_lock);
    ConfigKey key(m_store);
    key.open(sourceKeyPath(m_name));
    key.setDword("type", static_cast<std::uint32_t>(m_type));
    key.setString("regexp", m_regexp);
    key.setString("connect", m_connect);
    key.setString("backup", m_backup);
    key.setString("fields", joinList(m_fieldNames, ','));
}

int DataSource::setName(std::string_view newName) {
    {
        std::lock_guard lock(m_lock);
        if (!m_listeners.empty()) return 1;
        deleteStored(m_store, newName);  // whatever was stored under the new name goes
        m_name.assign(newName);
    }
    save();
    return 0;
}

void DataSource::deleteStored(ConfigStore& store, std::string_view name) {
    ConfigKey sources(store);
    if (sources.openExisting(kSourcesKey)) sources.deleteTree(name);
}

void DataSource::writeLastPos() {
    std::lock_guard lock(m_lock);
    // Only into a stored definition: a source that was never saved, or whose key was
    // deleted, must not come back as an empty source at the next start.
    ConfigKey key(m_store);
    if (!m_name.empty() && key.openExisting(sourceKeyPath(m_name))) {
        writePosition(key, m_position, m_type);
        if (!m_backup.empty()) writeBackupLength(key, duplicateLength());
    }
}

}  // namespace tg
