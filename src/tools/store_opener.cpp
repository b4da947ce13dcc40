#include "config/config_store.h"
#include "config/store_path.h"
#include "tools/command_line.h"
#include "tools/commands.h"

namespace tg {

StoreOpener::~StoreOpener() = default;

ConfigStore& StoreOpener::store() {
    if (m_store) return *m_store;
    std::filesystem::path path = resolveStorePath(m_option);
    std::string error;
    if (!createParentFolders(path, error)) {
        throw CommandError("cannot open store " + path.string() + ": " + error);
    }
    auto store = std::make_unique<ConfigStore>(path);
    if (!store->isOpen()) {
        throw CommandError("cannot open store " + path.string() + ": " + store->error());
    }
    m_store = std::move(store);
    return *m_store;
}

}  // namespace tg
