#pragma once
// One data source: its definition (name, type, expression, connect string, duplicate log,
// field names, last position), its listeners, and the step that turns received bytes into
// records (parseChunk).
//
// Threads: the definition and the listener list may be read and changed from any thread
// under m_lock. parseChunk runs on the source's reader thread only; it keeps the incomplete
// last line in m_pending, which only that thread touches. Delivery to listeners holds m_lock
// (lock order: source, then listener).

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "config/config_store.h"
#include "datasource/event_sink.h"
#include "datasource/record.h"
#include "datasource/record_listener.h"
#include "datasource/reg_exp.h"
#include "datasource/source_type.h"

namespace tg {

class DataSource {
public:
    // `store` and `events` must outlive the source.
    DataSource(std::string name, ConfigStore& store, EventSink& events = noEventSink());
    virtual ~DataSource();
    DataSource(const DataSource&) = delete;
    DataSource& operator=(const DataSource&) = delete;

    // Definition. Getters return copies taken under the lock.
    std::string name() const;
    SourceType type() const;
    std::string regexp() const;
    std::string connect() const;
    std::string backup() const;
    FieldNames fieldNames() const;
    std::uint32_t lastPos() const;

    // Stores the expression as typed and compiles it; 0 whatever the compile result (an
    // expression that does not compile matches no line). A running reader switches to the
    // new expression at its next chunk.
    int setRegexp(std::string_view text);
    int setType(SourceType type);
    int setConnect(std::string_view text);
    int setBackup(std::string_view path);
    void setFields(FieldNames names);

    // Adds a listener unless it is already attached; removes the first occurrence.
    void attach(RecordListener& listener);
    void detach(RecordListener& listener);
    std::size_t listenerCount() const;

    // Cuts `chunk`, appended to the incomplete line kept from earlier chunks, into lines (CR
    // and LF both end a line; empty lines vanish), splits each complete line with the
    // expression and delivers the records. Lines that do not match, or give another number
    // of values than there are field names, become error records for observers and event
    // log lines. Accepted records are appended to the duplicate log. Stops early, keeping the
    // rest, once stopping is requested. Reader thread only.
    void parseChunk(std::string_view chunk);

    // Delivery to listeners, in list order, under the lock.
    void deliverToObservers(const Record& record);
    void deliverToProcessors(const Record& record);

    // Asks parseChunk (and later the reader) to end; cleared by clearStopping.
    void requestStop() { m_stopping.store(true, std::memory_order_relaxed); }
    void clearStopping() { m_stopping.store(false, std::memory_order_relaxed); }
    bool stopping() const { return m_stopping.load(std::memory_order_relaxed); }
    // Forgets the incomplete line (a reader starting afresh). Reader thread or stopped source.
    void clearPending() { m_pending.clear(); }
    const std::string& pending() const { return m_pending; }

protected:
    ConfigStore& store() const { return m_store; }
    EventSink& events() const { return m_events; }

private:
    // Splits and delivers one complete line; returns the record to duplicate, if any.
    void parseLine(const RegExp& pattern, std::string_view line, std::FILE* duplicate,
                   char separator);

    ConfigStore& m_store;
    EventSink& m_events;

    mutable std::recursive_mutex m_lock;
    // Guarded by m_lock:
    std::vector<RecordListener*> m_listeners;  // not owned
    std::string m_name;
    std::string m_regexp;
    std::string m_connect;
    std::string m_backup;
    SourceType m_type = SourceType::None;
    std::uint32_t m_lastPos = 0;
    FieldNames m_fieldNames;
    // Replaced whole by setRegexp, so a reader holding the previous one is undisturbed.
    std::shared_ptr<const RegExp> m_pattern;

    std::atomic<bool> m_stopping{false};

    // Reader thread only:
    std::string m_pending;  // received bytes after the last complete line
    Record m_values;        // reused for every line to spare allocations
};

}  // namespace tg
