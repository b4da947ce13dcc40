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
// over 4 GB. For files, "lastinode" (and "lastinodehigh") say which file the position is in,
// and "lastsum" with "lastsumend" (and "lastsumendhigh") sample what was read before it.
void writePosition(ConfigKey& key, const ReadPosition& position, SourceType type);
ReadPosition readStoredPosition(ConfigKey& key);
// "backuplength" (and "backuplengthhigh"): how much of the duplicate log belongs to the
// stored data; "backupdevice" and "backupinode" (each with its "...high") which file that is.
// A log without its identity is never cut (see DataSource::cutDuplicateLog).
void writeBackupLength(ConfigKey& key, const DuplicateExtent& extent);
// A log that was deleted (reset): nothing of it belongs to the stored data, and the file the
// reader will create is not known yet.
void forgetBackupLength(ConfigKey& key);
std::optional<DuplicateExtent> readBackupLength(ConfigKey& key);

}  // namespace tg
