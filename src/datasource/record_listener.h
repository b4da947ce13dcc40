#pragma once
// What diagrams and monitors implement to receive a data source's records.
// Called on the source's delivering thread (or a caller's, for replays and resets) with the
// source's lock held (lock order: source, then
// the listener's own lock). A listener must detach from its source before it ends.

#include "datasource/record.h"

namespace tg {

class RecordListener {
public:
    virtual ~RecordListener() = default;
    // A well-formed record: as many values as the source has field names.
    virtual void processRecord(const Record& record, const FieldNames& fieldNames) = 0;
    // Every record the readers produce, well-formed or error, before processRecord.
    virtual void observeRecord(const Record& record, const FieldNames& fieldNames) = 0;
    // Forget everything accumulated from this source.
    virtual void reset() = 0;
};

}  // namespace tg
