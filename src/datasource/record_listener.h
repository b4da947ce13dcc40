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
    // A well-formed record of a reader's delivery, as views into what the reader read. The
    // views stay valid until deliveryEnded(), so a listener may keep them until then instead
    // of a copy. Unless overridden, the record is copied for processRecord.
    virtual void processDelivered(RecordView record, const FieldNames& fieldNames) {
        processRecord(toRecord(record), fieldNames);
    }
    // Within a delivery, the source is about to let its lock go (between groups of records,
    // or to report a line): a listener that has kept its own lock since processDelivered,
    // to take it once for many records, lets it go now. Also before deliveryEnded.
    virtual void deliveryPaused() {}
    // The records passed to processDelivered since the last call go away; a listener that
    // kept references copies what it keeps. Also called when the listener is detached.
    virtual void deliveryEnded() {}
    // Every record the readers produce, well-formed or error, before processRecord.
    virtual void observeRecord(const Record& record, const FieldNames& fieldNames) = 0;
    // A well-formed record of a reader's delivery, before processDelivered; as valid as there.
    // Unless overridden, the record is copied for observeRecord.
    virtual void observeDelivered(RecordView record, const FieldNames& fieldNames) {
        observeRecord(toRecord(record), fieldNames);
    }
    // Forget everything accumulated from this source.
    virtual void reset() = 0;
};

}  // namespace tg
