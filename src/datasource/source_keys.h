#pragma once
// Where data sources live in the store, and the stored form of a reader's position.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "config/config_key.h"
#include "datasource/data_source.h"

namespace tg {

// The "sources" key's path below the product key, and one source's key below that, in the
// form ConfigKey::open appends to the product key (leading backslash included).
inline constexpr std::string_view kSourcesKey = "\\sources";
std::string sourceKeyPath(std::string_view name);

// "lastpos" holds the low 32 bits of the position; "lastposhigh" the rest when a file is
// over 4 GB. For files, "lastinode" (and "lastinodehigh") say which file the position is in.
void writePosition(ConfigKey& key, const ReadPosition& position, SourceType type);
ReadPosition readStoredPosition(ConfigKey& key);
// "backuplength" (and "backuplengthhigh"): how much of the duplicate log belongs to the
// stored data; a longer log is cut back to it at the next start.
void writeBackupLength(ConfigKey& key, std::uint64_t length);
std::optional<std::uint64_t> readBackupLength(ConfigKey& key);

}  // namespace tg
