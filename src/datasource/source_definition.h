#pragma once
// What a data source is, as a value: the part of a source that the store, the web pages and
// the tools read and write. The runtime (listeners, reader, positions) lives in DataSource.

#include <string>

#include "config/config_key.h"
#include "datasource/record.h"
#include "datasource/source_type.h"

namespace tg {

struct SourceDefinition {
    std::string name;
    SourceType type = SourceType::None;
    std::string regexp;   // as typed; compiled by the source
    std::string connect;  // the transport's address: a path, host:port, a port, ...
    std::string backup;   // the duplicate log's path; empty: no duplicate log
    FieldNames fields;
    // UDP: the end of each datagram also ends a line ("datagramlines", 0 or 1).
    bool datagramLines = false;
};

// Reads the definition stored in `key` (one source's key), writing missing values with their
// defaults; the name is not stored in the key and stays empty.
SourceDefinition readDefinition(ConfigKey& key);
// Writes every stored value of `definition` (all but its name) into `key`.
void writeDefinition(ConfigKey& key, const SourceDefinition& definition);

}  // namespace tg
