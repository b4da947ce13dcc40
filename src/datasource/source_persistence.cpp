// A data source's definition in the store: one key per source under "sources".

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "config/config_key.h"
#include "datasource/data_source.h"
#include "datasource/source_keys.h"
#include "platform/unique_fd.h"

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
        // Store failures are silent; a value left behind reads as the same number.
        (void)key.deleteValue(name);
    }
}

std::uint64_t storedDword(ConfigKey& key, std::string_view name) {
    const auto value = key.queryValue(name);
    if (!value || value->type != ValueType::Dword) return 0;
    return decodeDword(value->data).value_or(0);
}

bool hasDword(ConfigKey& key, std::string_view name) {
    const auto value = key.queryValue(name);
    return value && value->type == ValueType::Dword;
}

// Store failures are silent: a value left behind is read as before.
void deleteIfPresent(ConfigKey& key, std::string_view name) {
    if (key.queryValue(name)) (void)key.deleteValue(name);
}

void write64(ConfigKey& key, const std::string& name, std::uint64_t value) {
    key.setDword(name, low(value));
    writeHighPart(key, name + "high", high(value));
}

std::uint64_t read64(ConfigKey& key, const std::string& name) {
    return storedDword(key, name) | storedDword(key, name + "high") << 32;
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
    if (type != SourceType::File) return;
    write64(key, "lastinode", position.fileId);
    // A sample is only ever stored with the position it was taken for.
    if (position.check) {
        key.setDword("lastsum", position.check->sum);
        write64(key, "lastsumend", position.check->end);
    } else {
        deleteIfPresent(key, "lastsum");
        deleteIfPresent(key, "lastsumend");
        deleteIfPresent(key, "lastsumendhigh");
    }
}

ReadPosition readStoredPosition(ConfigKey& key) {
    ReadPosition position;
    position.offset = key.getDword("lastpos", 0) | storedDword(key, "lastposhigh") << 32;
    position.fileId = read64(key, "lastinode");
    if (hasDword(key, "lastsum")) {
        const std::uint64_t end = read64(key, "lastsumend");
        if (end <= position.offset) {
            position.check =
                ContentCheck{end, static_cast<std::uint32_t>(storedDword(key, "lastsum"))};
        }
    }
    return position;
}

void writeBackupLength(ConfigKey& key, const DuplicateExtent& extent) {
    write64(key, "backuplength", extent.length);
    write64(key, "backupdevice", extent.file.device);
    write64(key, "backupinode", extent.file.inode);
}

void forgetBackupLength(ConfigKey& key) {
    write64(key, "backuplength", 0);
    for (const char* name :
         {"backupdevice", "backupdevicehigh", "backupinode", "backupinodehigh"}) {
        deleteIfPresent(key, name);
    }
}

std::optional<DuplicateExtent> readBackupLength(ConfigKey& key) {
    if (!hasDword(key, "backuplength") || !hasDword(key, "backupinode")) return std::nullopt;
    return DuplicateExtent{read64(key, "backuplength"),
                           FileIdentity{read64(key, "backupdevice"), read64(key, "backupinode")}};
}

void DataSource::load(std::string_view name) {
    std::lock_guard lock(m_lock);
    ConfigKey key(m_store);
    // Without the key every field reads its default.
    (void)key.open(sourceKeyPath(name));
    SourceDefinition definition = readDefinition(key);
    definition.name.assign(name);
    const std::string regexp = std::move(definition.regexp);
    m_definition = std::move(definition);
    setRegexp(regexp);  // compiles it
    const std::uint64_t generation = m_position.generation;
    m_position = readStoredPosition(key);
    m_position.generation = generation;
}

void DataSource::cutDuplicateLog() {
    std::lock_guard lock(m_lock);
    ConfigKey key(m_store);
    if (m_definition.backup.empty() || !key.openExisting(sourceKeyPath(m_definition.name))) return;
    const auto extent = readBackupLength(key);
    if (!extent) return;
    // Checked and cut through one descriptor, so another file swapped in meanwhile is safe.
    UniqueFd file(::open(m_definition.backup.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat status;
    if (!file || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) return;
    const FileIdentity found{static_cast<std::uint64_t>(status.st_dev),
                             static_cast<std::uint64_t>(status.st_ino)};
    if (found != extent->file || static_cast<std::uint64_t>(status.st_size) <= extent->length) {
        return;
    }
    [[maybe_unused]] const int rc = ::ftruncate(file.get(), static_cast<off_t>(extent->length));
}

void DataSource::recordDuplicateStart(const DuplicateExtent& start) {
    ConfigKey key(m_store);
    if (key.openExisting(sourceKeyPath(m_definition.name))) writeBackupLength(key, start);
}

void DataSource::save() {
    std::lock_guard lock(m_lock);
    ConfigKey key(m_store);
    // Without the key the setters write nothing: store failures are silent.
    (void)key.open(sourceKeyPath(m_definition.name));
    writeDefinition(key, m_definition);
}

int DataSource::setName(std::string_view newName) {
    {
        std::lock_guard lock(m_lock);
        if (!m_listeners.empty()) return 1;
        deleteStored(m_store, newName);  // whatever was stored under the new name goes
        m_definition.name.assign(newName);
    }
    save();
    return 0;
}

void DataSource::deleteStored(ConfigStore& store, std::string_view name) {
    ConfigKey sources(store);
    // Nothing stored under the name is as good as deleted; failures are silent.
    if (sources.openExisting(kSourcesKey)) (void)sources.deleteTree(name);
}

void DataSource::writeLastPos() {
    std::lock_guard lock(m_lock);
    // Only into a stored definition: a source that was never saved, or whose key was
    // deleted, must not come back as an empty source at the next start.
    ConfigKey key(m_store);
    if (!m_definition.name.empty() && key.openExisting(sourceKeyPath(m_definition.name))) {
        writePosition(key, m_position, m_definition.type);
        if (const auto extent = duplicateExtent()) writeBackupLength(key, *extent);
    }
}

}  // namespace tg
