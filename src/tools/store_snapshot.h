#pragma once
// A private in-memory copy of parts of a store, for reading commands that reuse the loading
// code of sources and diagrams. That code writes defaults back and saves diagram data when
// its objects end; against the copy, nothing of it reaches the store a running tessellgroved
// relies on.
//
// One thread. The copy is taken in one read transaction, so it is one consistent state even
// while a daemon writes.

#include <string>
#include <vector>

#include "config/config_store.h"

namespace tg {

class StoreSnapshot {
public:
    // Copies the product key's own values (the list separator among them) and, for each of
    // `paths` (below the product key, as ConfigKey::open takes them: "\diagrams\web"), the
    // key with everything below it; missing keys are skipped. A CommandError when the store
    // cannot be read.
    StoreSnapshot(ConfigStore& store, const std::vector<std::string>& paths);
    StoreSnapshot(const StoreSnapshot&) = delete;
    StoreSnapshot& operator=(const StoreSnapshot&) = delete;

    ConfigStore& store() { return m_copy; }

private:
    void copyValues(KeyId from, KeyId to);
    void copyTree(KeyId from, const std::string& path);

    ConfigStore& m_store;
    ConfigStore m_copy{":memory:"};
};

}  // namespace tg
