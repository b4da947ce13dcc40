#pragma once
// The last records a diagram received, oldest first, for the table of recent records.
//
// A record pushed with push() is copied at once. One pushed with pushPending() (a record of a
// reader's delivery, views valid until the delivery ends) is only kept as views until
// keepPending() copies it, so of a delivery's many records just the last few are ever copied. Pending
// records are always the newest: push() keeps them first. Guarded by the owning diagram's lock.

#include <array>
#include <cstddef>
#include <deque>

#include "datasource/record.h"

namespace tg {

class RecentRecords {
public:
    static constexpr std::size_t kCapacity = 25;

    void push(const Record& record);
    void pushPending(RecordView record);
    // Copies the pending records: call it before the records they point at go away.
    void keepPending();
    // Forgets every record, pending ones included.
    void clear();

    std::size_t size() const;
    // Calls fn(RecordView) for each record, oldest first.
    template <class Fn>
    void forEach(Fn&& fn) const {
        const std::size_t total = m_kept.size() + m_pendingCount;
        std::size_t skip = total > kCapacity ? total - kCapacity : 0;
        for (const Record& record : m_kept) {
            if (skip > 0) {
                --skip;
                continue;
            }
            const RecordViews views(record);
            fn(RecordView(views));
        }
        for (std::size_t i = skip; i < m_pendingCount; ++i)
            fn(m_pending[(m_pendingFirst + i) % kCapacity]);
    }

private:
    void copy(RecordView record);

    std::deque<Record> m_kept;  // at most kCapacity
    // A ring of the pending records, not owned.
    std::array<RecordView, kCapacity> m_pending{};
    std::size_t m_pendingFirst = 0;
    std::size_t m_pendingCount = 0;
};

}  // namespace tg
