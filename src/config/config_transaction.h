#pragma once
// Batches several writes to the store so that they land together or not at all.
// Holds the store's lock for its whole life: other threads' reads and writes wait, and none
// of them can slip into the batch. Without commit() the destructor rolls back.
//
// A nested transaction on the same thread joins the outer one as a savepoint: its commit()
// leaves the outcome to the outer transaction, and without commit() only its own writes are
// undone. When the batch cannot be opened (store closed, busy past the timeout) or one of its
// writes fails, the store refuses every further write until the outermost transaction ends
// and commit() returns false: the batch never lands in part.

#include "config/config_store.h"

namespace tg {

class ConfigTransaction {
public:
    explicit ConfigTransaction(ConfigStore& store);
    ~ConfigTransaction();
    ConfigTransaction(const ConfigTransaction&) = delete;
    ConfigTransaction& operator=(const ConfigTransaction&) = delete;

    // True when every write is now stored (or, nested, left to the outer transaction).
    [[nodiscard]] bool commit();

private:
    ConfigStore& m_store;
    std::unique_lock<std::recursive_mutex> m_lock;
    bool m_outermost = false;
    bool m_active = false;
};

}  // namespace tg
