// tgctl source test NAME: tries a stored data source's transport (connects, binds or opens the
// port, then closes it) and prints OK, or fails with the reason. It reads the store without
// writing anything and builds no DataSource, so it runs beside the daemon; a port the daemon
// holds is reported as in use.

#include <iostream>
#include <string>

#include "config/config_key.h"
#include "datasource/source_keys.h"
#include "datasource/source_transport.h"
#include "tools/command_line.h"
#include "tools/commands.h"

namespace tg {

void testSource(const std::string& name, StoreOpener& stores) {
    ConfigStore& store = stores.existingStore();
    ConfigKey key(store);
    if (!key.openExisting(sourceKeyPath(name))) throw CommandError("no data source " + name);
    SourceType type = SourceType::None;
    if (const auto value = key.queryValue("type"); value && value->type == ValueType::Dword) {
        type = sourceTypeFromCode(decodeDword(value->data).value_or(0));
    }
    std::string text;
    (void)key.queryString("connect", text);  // missing: tried as empty, which names nothing
    if (!testTransport(type, text)) throw CommandError(text);
    std::cout << "OK\n";
}

}  // namespace tg
