#pragma once
// What a reader may do to its source: the narrow side of DataSource that feeds it bytes,
// moves its position and waits for its stop. Transports (FileReader, runReconnectLoop) reach
// the source only through it; so does whoever feeds a source by hand while no reader runs
// (the parse tool, benchmarks, tests). Every call is for the reader thread, or for a source
// whose reader is not running; see DataSource for what each does.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "datasource/data_source.h"

namespace tg {

class SourceFeed {
public:
    explicit SourceFeed(DataSource& source) : m_source(source) {}

    std::string connect() const { return m_source.connect(); }
    FieldNames fieldNames() const { return m_source.fieldNames(); }
    std::string backup() const { return m_source.backup(); }
    char listSeparator() const { return m_source.store().listSeparator(); }

    // Cuts the bytes into lines and delivers the records (DataSource::parseChunk).
    void parseChunk(std::string_view chunk) { m_source.parseChunk(chunk); }
    // The incomplete last line kept from earlier chunks, and forgetting it.
    const std::string& pending() const { return m_source.pending(); }
    void clearPending() { m_source.clearPending(); }
    // The bytes passed to parseChunk from now on continue the input from `base`.
    void setInputBase(const ReadPosition& base) { m_source.setInputBase(base); }
    ReadPosition readPosition() const { return m_source.readPosition(); }
    // Refused (false) when a reset came in between.
    [[nodiscard]] bool updateReadPosition(const ReadPosition& position) {
        return m_source.updateReadPosition(position);
    }

    void flushDuplicates() { m_source.flushDuplicates(); }
    bool duplicatesBackedUp() const { return m_source.duplicatesBackedUp(); }
    // Both come after every record of the chunks parsed before.
    void reportError(const std::string& text) {
        m_source.settleDelivery();
        m_source.reportError(text);
    }
    // Shows a record to observers only (rows that reach diagrams through the duplicate log).
    void showRecord(const Record& record) {
        m_source.settleDelivery();
        m_source.deliverToObservers(record);
    }

    bool stopping() const { return m_source.stopping(); }
    void requestStop() { m_source.requestStop(); }
    void clearStopping() { m_source.clearStopping(); }
    // True when a stop was asked before `timeout` passed.
    // Every wait of a reader goes through one of these two: the lines split so far go to
    // the delivery thread first.
    bool waitForStop(std::chrono::milliseconds timeout) const {
        m_source.flushDelivery();
        return m_source.waitForStop(timeout);
    }
    const WakeEvent& wakeEvent() const {
        m_source.flushDelivery();
        return m_source.wakeEvent();
    }
    std::chrono::milliseconds retryPause() const { return m_source.retryPause(); }

private:
    DataSource& m_source;
};

}  // namespace tg
