#include "tools/stored_names.h"

#include <algorithm>

#include "config/config_key.h"
#include "datasource/source_keys.h"
#include "diagram/diagram_keys.h"
#include "tools/command_line.h"

namespace tg {
namespace {

std::vector<std::string> subKeysOf(ConfigStore& store, std::string_view path) {
    ConfigKey key(store);
    if (!key.openExisting(path)) return {};
    return key.subKeyNames();
}

}  // namespace

std::vector<std::string> storedSourceNames(ConfigStore& store) {
    return subKeysOf(store, kSourcesKey);
}

std::vector<std::string> storedDiagramNames(ConfigStore& store) {
    std::vector<std::string> names = subKeysOf(store, kDiagramsKey);
    std::erase_if(names, [](const std::string& name) { return !hasOwnKey(name); });
    return names;
}

std::string storedDiagramSource(ConfigStore& store, std::string_view diagram) {
    ConfigKey key(store);
    std::string name;
    const int rc = key.openExisting(diagramKeyPath(diagram)) ? key.queryString("datasource", name)
                                                             : kStoreMissing;
    if (rc == kStoreOk) return name;
    if (rc == kStoreMissing || rc == kStoreNotText) return "Unknown";
    throw CommandError("cannot read diagram " + std::string(diagram) + ": " + store.lastError());
}

bool containsExactly(const std::vector<std::string>& names, std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace tg
