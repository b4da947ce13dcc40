#include "diagram/recent_records.h"

#include <algorithm>

namespace tg {

void RecentRecords::push(const Record& record) {
    keepPending();
    copy(RecordViews(record));
}

void RecentRecords::pushPending(RecordView record) {
    if (m_pendingCount < kCapacity) {
        m_pending[(m_pendingFirst + m_pendingCount++) % kCapacity] = record;
    } else {
        m_pending[m_pendingFirst] = record;  // the oldest pending one is never copied
        m_pendingFirst = (m_pendingFirst + 1) % kCapacity;
    }
}

void RecentRecords::keepPending() {
    for (std::size_t i = 0; i < m_pendingCount; ++i)
        copy(m_pending[(m_pendingFirst + i) % kCapacity]);
    m_pendingFirst = 0;
    m_pendingCount = 0;
}

void RecentRecords::clear() {
    m_kept.clear();
    m_pendingFirst = 0;
    m_pendingCount = 0;
}

std::size_t RecentRecords::size() const {
    return std::min(kCapacity, m_kept.size() + m_pendingCount);
}

void RecentRecords::copy(RecordView record) {
    if (m_kept.size() < kCapacity) {
        m_kept.push_back(toRecord(record));
        return;
    }
    Record oldest = std::move(m_kept.front());  // its strings' room is used again
    m_kept.pop_front();
    oldest.assign(record.begin(), record.end());
    m_kept.push_back(std::move(oldest));
}

}  // namespace tg
