// The live side of a data source: listeners, the reader thread, reset and restart.

#include <algorithm>
#include <cstdio>
#include <exception>

#include "config/config_key.h"
#include "datasource/data_source.h"
#include "datasource/odbc/odbc_reader.h"
#include "datasource/source_keys.h"
#include "datasource/source_transport.h"

namespace tg {

void DataSource::attach(RecordListener& listener) {
    {
        std::lock_guard lock(m_lock);
        if (std::find(m_listeners.begin(), m_listeners.end(), &listener) != m_listeners.end()) {
            return;
        }
        m_listeners.push_back(&listener);
        m_listenerCount = m_listeners.size();
    }
    reconcile();
}

void DataSource::detach(RecordListener& listener) {
    {
        std::lock_guard lock(m_lock);
        auto it = std::find(m_listeners.begin(), m_listeners.end(), &listener);
        if (it == m_listeners.end()) return;
        listener.deliveryEnded();  // it may be detached in the middle of a batch
        m_listeners.erase(it);
        m_listenerCount = m_listeners.size();
    }
    reconcile();
}

void DataSource::detachAll() {
    {
        std::lock_guard lock(m_lock);
        for (RecordListener* listener : m_listeners) listener->deliveryEnded();
        m_listeners.clear();
        m_listenerCount = 0;
    }
    reconcile();
}

bool DataSource::isRunning() const { return m_running; }

void DataSource::reconcile() {
    // A listener that detaches from inside a delivery runs on the reader itself, with this
    // source's lock held: it can only ask the reader to end. The next start, or the
    // destructor, joins it.
    const std::thread::id self = std::this_thread::get_id();
    if (self == m_readerId.load() || self == m_deliveryId.load()) {
        if (m_listenerCount == 0) requestStop();
        return;
    }
    // Only m_runLock: a listener may detach from inside a delivery, with m_lock held.
    std::lock_guard run(m_runLock);
    const bool wanted = m_listenerCount > 0 && !m_held;
    if (wanted && (!m_reader.joinable() || stopping())) {
        stopReader();
        startReader();
    } else if (!wanted && m_reader.joinable()) {
        stopReader();
    }
}

void DataSource::holdReader(bool held) {
    m_held = held;
    if (!held) reconcile();
}

void DataSource::requestStop() {
    m_stopping.store(true, std::memory_order_relaxed);
    m_wake.signal();
}

void DataSource::startReader() {
    m_wake.clear();
    clearStopping();
    m_pending.clear();
    m_running = true;
    m_reader = std::thread([this] { readerThread(); });
}

void DataSource::stopReader() {
    if (!m_reader.joinable()) return;
    requestStop();
    m_reader.join();  // m_lock is not held: a reader waiting for it in a delivery can finish
    m_running = false;
}

void DataSource::readerThread() {
    m_readerId.store(std::this_thread::get_id());
    try {
        // No transport of this kind (yet): the reader ends at once.
        if (const auto reader = makeSourceReader(*this, type())) {
            // Ends (delivering what was handed to it) before the reader reports or ends.
            DeliveryThread delivery([this](ParseBatch& batch) { deliverBatch(batch); },
                                    [this] { return stopping(); });
            m_deliveryId.store(delivery.id());
            struct Detach {
                DataSource& source;
                ~Detach() { source.m_delivery = nullptr; }
            } detach{*this};
            m_delivery = &delivery;
            reader->run();
            settleDelivery();  // a failed delivery is reported below
        }
    } catch (const std::exception& e) {
        // Readers catch their own transport errors; anything else must not end the process.
        reportError(e.what());
    }
    m_deliveryId.store(std::thread::id());
    m_readerId.store(std::thread::id());
}

void DataSource::reportError(const std::string& text) {
    m_errorRecords.fetch_add(1, std::memory_order_relaxed);
    deliverToObservers(Record{text});
    m_events.writeLog(name(), text);
}

bool DataSource::waitForStop(std::chrono::milliseconds timeout) const {
    if (stopping()) return true;
    return m_wake.waitFor(timeout) || stopping();
}

void DataSource::reset() {
    std::lock_guard lock(m_lock);
    resetLocked();
}

void DataSource::resetLocked() {
    if (!m_definition.backup.empty()) {
        std::remove(m_definition.backup.c_str());
        m_duplicateQueue.clear();  // records from before the reset
        m_duplicateQueued.store(0, std::memory_order_relaxed);
        m_duplicateFile.reset();
        ConfigKey key(m_store);
        if (!m_definition.name.empty() && key.openExisting(sourceKeyPath(m_definition.name))) forgetBackupLength(key);
    }
    ++m_position.generation;  // a running reader drops what it read before
    if (m_definition.type == SourceType::File || m_definition.type == SourceType::Odbc) {
        m_position.offset = 0;
        m_position.fileId = 0;
        m_position.check.reset();
        writeLastPos();
    }
    for (std::size_t i = 0; i < m_listeners.size(); ++i) m_listeners[i]->reset();
}

void DataSource::restart() {
    {
        std::lock_guard run(m_runLock);
        stopReader();
    }
    reset();
    reconcile();  // a fresh reader when listeners are attached
}

bool DataSource::testConnection(std::string& text) {
    const SourceType kind = type();
    if (kind != SourceType::Com) return testTransport(kind, text);
    // The port is tried as stored, whatever the editor holds.
    std::string reason = connect();
    if (testTransport(kind, reason)) return true;
    text = std::move(reason);
    return false;
}

void DataSource::odbcColumnNames(FieldNames& names) const {
    [[maybe_unused]] const bool complete = tg::odbcColumnNames(connect(), names);
}

}  // namespace tg
