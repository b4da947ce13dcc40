#include "datasource/source_definition.h"

#include "datasource/list_text.h"

namespace tg {

SourceDefinition readDefinition(ConfigKey& key) {
    SourceDefinition definition;
    // In this order, so a key written for the first time looks as it always did.
    definition.type = sourceTypeFromCode(key.getDword("type", 0));
    definition.regexp = key.getString("regexp", "");
    definition.connect = key.getString("connect", "");
    definition.backup = key.getString("backup", "");
    definition.fields = splitList(key.getString("fields", ""), ',');
    definition.datagramLines = key.getDword("datagramlines", 0) != 0;
    return definition;
}

void writeDefinition(ConfigKey& key, const SourceDefinition& definition) {
    key.setDword("type", static_cast<std::uint32_t>(definition.type));
    key.setString("regexp", definition.regexp);
    key.setString("connect", definition.connect);
    key.setString("backup", definition.backup);
    key.setString("fields", joinList(definition.fields, ','));
    key.setDword("datagramlines", definition.datagramLines ? 1 : 0);
}

}  // namespace tg
