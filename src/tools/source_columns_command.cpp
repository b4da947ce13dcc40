#include "tools/source_columns_command.h"

#include <iostream>
#include <string>
#include <vector>

#include "config/config_key.h"
#include "datasource/odbc/odbc_reader.h"
#include "datasource/source_keys.h"
#include "datasource/source_type.h"
#include "tools/stored_names.h"

namespace tg {

void showSourceColumns(StoreOpener& stores, const CommandLine& line) {
    line.expectAtMost(2);
    const std::string& name = line.positional(1, "NAME");
    ConfigStore& store = stores.existingStore();
    ConfigKey key(store);
    if (!containsExactly(storedSourceNames(store), name) ||
        !key.openExisting(sourceKeyPath(name))) {
        throw CommandError("no data source " + name);
    }
    // Read without writing defaults back: a running daemon may own the store.
    const auto type = key.queryValue("type");
    std::string connect;
    if (!type || type->type != ValueType::Dword ||
        decodeDword(type->data).value_or(0) != static_cast<std::uint32_t>(SourceType::Odbc) ||
        key.queryString("connect", connect) != kStoreOk) {
        throw CommandError("data source " + name + " is not an ODBC source");
    }
    std::vector<std::string> columns;
    std::string error;
    if (!odbcColumnNames(connect, columns, &error)) {
        while (!error.empty() && error.back() == '\n') error.pop_back();
        throw CommandError(error);
    }
    for (const std::string& column : columns) std::cout << column << '\n';
}

}  // namespace tg
