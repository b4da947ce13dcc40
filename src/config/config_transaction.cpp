#include "config/config_transaction.h"

namespace tg {

namespace {
// Nested transactions are savepoints of this one name; SQLite pairs each RELEASE or
// ROLLBACK TO with the most recent savepoint of the name.
constexpr const char* kSavepoint = "SAVEPOINT tg_transaction";
constexpr const char* kRelease = "RELEASE tg_transaction";
constexpr const char* kRollbackTo = "ROLLBACK TO tg_transaction";
}  // namespace

ConfigTransaction::ConfigTransaction(ConfigStore& store) : m_store(store), m_lock(store.mutex()) {
    m_outermost = m_store.m_transactionDepth == 0;
    if (m_outermost) {
        m_store.m_transactionBroken = false;
        m_active = m_store.exec("BEGIN IMMEDIATE");
    } else {
        // A savepoint outside a transaction would start one of its own: only when the outer
        // transaction is still sound.
        m_active = m_store.writable() && m_store.exec(kSavepoint);
    }
    // Writes made while the batch could not be opened must not land one by one: the store
    // refuses them until the outermost transaction ends.
    if (!m_active) m_store.m_transactionBroken = true;
    ++m_store.m_transactionDepth;
}

ConfigTransaction::~ConfigTransaction() {
    if (m_active) {
        if (!m_outermost) {
            // Undoing an uncommitted batch: a rollback that fails too has nothing to add.
            (void)m_store.exec(kRollbackTo);
            (void)m_store.exec(kRelease);
        } else if (m_store.m_db && !sqlite3_get_autocommit(m_store.m_db.get())) {
            (void)m_store.exec("ROLLBACK");
        }
    }
    --m_store.m_transactionDepth;
    if (m_outermost) m_store.m_transactionBroken = false;
}

bool ConfigTransaction::commit() {
    if (!m_active) return false;
    if (!m_store.writable()) return false;  // a write failed: the destructor undoes the rest
    m_active = false;
    if (!m_outermost) {
        if (m_store.exec(kRelease)) return true;
        m_store.noteFailure();
        return false;
    }
    if (m_store.exec("COMMIT")) return true;
    // commit() answers false either way.
    if (!sqlite3_get_autocommit(m_store.m_db.get())) (void)m_store.exec("ROLLBACK");
    return false;
}

}  // namespace tg
