#include "config/config_store.h"
#include "config/store_path.h"
#include "tools/command_line.h"
#include "tools/commands.h"

namespace tg {

StoreOpener::~StoreOpener() = default;

const std::filesystem::path& StoreOpener::path() {
    if (!m_path) m_path = resolveStorePath(m_option);
    return *m_path;
}

ConfigStore& StoreOpener::store() {
    if (m_store) return *m_store;
    const std::filesystem::path& storePath = path();
    std::string error;
    if (!createParentFolders(storePath, error)) {
        throw CommandError("cannot open store " + storePath.string() + ": " + error);
    }
    auto store = std::make_unique<ConfigStore>(storePath);
    if (!store->isOpen()) {
        throw CommandError("cannot open store " + storePath.string() + ": " + store->error());
    }
    m_store = std::move(store);
    return *m_store;
}

ConfigStore& StoreOpener::existingStore() {
    if (m_store) return *m_store;
    std::error_code error;
    const bool found = std::filesystem::exists(path(), error);
    if (error) throw CommandError("cannot open store " + path().string() + ": " + error.message());
    if (!found) throw CommandError("no store at " + path().string());
    return store();
}

std::unique_ptr<InstanceLock> lockStoreForChange(StoreOpener& stores, const std::string& refusal) {
    stores.store();  // creates the store, whose identity names the lock
    auto lock = std::make_unique<InstanceLock>(stores.path(), InstanceLock::Mode::Editor);
    if (lock->state() == InstanceLock::State::HeldElsewhere) throw CommandError(refusal);
    if (!lock->held()) throw CommandError("cannot lock the store: " + lock->error());
    return lock;
}

}  // namespace tg
