#include "tools/store_snapshot.h"

#include "tools/command_line.h"

namespace tg {

StoreSnapshot::StoreSnapshot(ConfigStore& store, const std::vector<std::string>& paths)
    : m_store(store) {
    if (!m_copy.isOpen()) throw CommandError("cannot make a scratch store: " + m_copy.error());
    const bool snapshot = m_store.exec("BEGIN");
    try {
        const std::string product(kProductKey);
        if (std::optional<KeyId> from = m_store.findKey(kRootKey, product)) {
            const std::optional<KeyId> to = m_copy.createKey(kRootKey, product);
            if (!to) throw CommandError("cannot copy the store: " + m_copy.lastError());
            copyValues(*from, *to);
            for (const std::string& path : paths) {
                if (std::optional<KeyId> key = m_store.findKey(*from, path)) {
                    copyTree(*key, product + path);
                }
            }
        }
    } catch (...) {
        // Ends a read-only transaction; the exception is what the caller sees.
        if (snapshot) (void)m_store.exec("ROLLBACK");
        throw;
    }
    // Ends a read-only transaction: nothing was written that could be lost.
    if (snapshot) (void)m_store.exec("COMMIT");
}

void StoreSnapshot::copyValues(KeyId from, KeyId to) {
    for (const std::string& name : m_store.valueNames(from)) {
        ConfigValue value;
        const int rc = m_store.readValue(from, name, value);
        if (rc == kStoreMissing) continue;  // deleted meanwhile (no snapshot was possible)
        if (rc != kStoreOk) throw CommandError("cannot read the store: " + m_store.lastError());
        if (!m_copy.writeValue(to, name, value.type, value.data)) {
            throw CommandError("cannot copy the store: " + m_copy.lastError());
        }
    }
}

void StoreSnapshot::copyTree(KeyId from, const std::string& path) {
    struct Pending {
        KeyId id;
        std::string path;
    };
    // Depth first with a stack of its own: no recursion however deep the tree is.
    std::vector<Pending> pending{{from, path}};
    while (!pending.empty()) {
        Pending next = std::move(pending.back());
        pending.pop_back();
        const std::optional<KeyId> to = m_copy.createKey(kRootKey, next.path);
        if (!to) throw CommandError("cannot copy the store: " + m_copy.lastError());
        copyValues(next.id, *to);
        for (const std::string& child : m_store.subKeyNames(next.id)) {
            if (std::optional<KeyId> id = m_store.findKey(next.id, child)) {
                pending.push_back({*id, next.path + "\\" + child});
            }
        }
    }
}

}  // namespace tg
