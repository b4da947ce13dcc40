#include "desktop/source_monitor.h"

namespace tg {

void SourceMonitor::observeRecord(const Record& record, const FieldNames& fieldNames) {
    std::lock_guard lock(m_lock);
    m_records.push_back(record);
    while (m_records.size() > kKept) m_records.pop_front();
    if (m_fieldNames != fieldNames) m_fieldNames = fieldNames;
    m_changed = true;
}

std::optional<SourceMonitor::Snapshot> SourceMonitor::takeIfChanged() {
    std::lock_guard lock(m_lock);
    if (!m_changed) return std::nullopt;
    m_changed = false;
    return Snapshot{{m_records.begin(), m_records.end()}, m_fieldNames};
}

}  // namespace tg
