#pragma once
// What the data source editor observes of its source: every record the source produces,
// well-formed or error, keeping the last 15. The source's reader thread appends under the
// monitor's own lock; the editor's timer takes the list on the main thread when it changed.
//
// Any thread. Lock order: source, then the monitor (records arrive with the source's lock held).

#include <deque>
#include <mutex>
#include <optional>
#include <vector>

#include "datasource/record_listener.h"

namespace tg {

class SourceMonitor final : public RecordListener {
public:
    static constexpr std::size_t kKept = 15;

    void processRecord(const Record&, const FieldNames&) override {}
    void observeRecord(const Record& record, const FieldNames& fieldNames) override;
    void reset() override {}

    // The kept records, oldest first, with the field names of the newest; nothing when no
    // record came since the last call.
    struct Snapshot {
        std::vector<Record> records;
        FieldNames fieldNames;
    };
    std::optional<Snapshot> takeIfChanged();

private:
    std::mutex m_lock;
    std::deque<Record> m_records;  // guarded by m_lock
    FieldNames m_fieldNames;       // guarded by m_lock
    bool m_changed = false;        // guarded by m_lock
};

}  // namespace tg
