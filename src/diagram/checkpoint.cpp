#include "diagram/checkpoint.h"

#include <map>
#include <vector>

#include "config/config_key.h"
#include "config/config_transaction.h"
#include "datasource/source_keys.h"

namespace tg {
namespace {

struct SourceSnapshot {
    std::string name;
    SourceType type = SourceType::None;
    ReadPosition position;
    bool hasBackup = false;
    std::uint64_t backupLength = 0;
};

}  // namespace

Checkpoint::Checkpoint(ConfigStore& store, SourceManager& sources, DiagramManager& diagrams)
    : m_store(store), m_sources(sources), m_diagrams(diagrams) {}

std::uint64_t Checkpoint::signature() {
    std::uint64_t sum = 0;
    for (const std::string& name : m_diagrams.names()) {
        if (DiagramHandle diagram = m_diagrams.acquire(name)) sum += diagram->changeCount() * 31;
    }
    for (const std::string& name : m_sources.names()) {
        if (SourceHandle source = m_sources.acquire(name)) {
            const ReadPosition delivered = source->deliveredPosition();
            sum += delivered.offset * 17 + delivered.generation;
        }
    }
    return sum;
}

bool Checkpoint::write(bool force) {
    std::lock_guard writing(m_writing);
    // Looked at even when nothing is due, so that a deleted store is noticed while idle.
    m_failure = m_store.pathProblem();
    const std::uint64_t before = signature();
    if (!force && m_wroteOnce && before == m_written) return m_failure.empty();

    // Borrow every diagram for the snapshot, grouped by the source that feeds it.
    std::map<std::string, std::vector<DiagramHandle>> bySource;
    for (const std::string& name : m_diagrams.names()) {
        if (DiagramHandle diagram = m_diagrams.acquire(name)) {
            std::string source = diagram->dataSourceName();
            bySource[source].push_back(std::move(diagram));
        }
    }
    std::vector<SourceSnapshot> sources;
    std::vector<DiagramData> data;
    for (const std::string& name : m_sources.names()) {
        SourceHandle source = m_sources.acquire(name);
        if (!source) continue;
        auto delivery = source->holdDelivery();  // no record is half delivered meanwhile
        const bool hasBackup = !source->backup().empty();
        sources.push_back({name, source->type(), source->deliveredPosition(), hasBackup,
                           hasBackup ? source->duplicateLength() : 0});
        auto fed = bySource.find(name);
        if (fed == bySource.end()) continue;
        for (DiagramHandle& diagram : fed->second) data.push_back(diagram->copyData());
        bySource.erase(fed);
    }
    for (auto& [source, diagrams] : bySource) {  // diagrams whose source does not exist
        for (DiagramHandle& diagram : diagrams) data.push_back(diagram->copyData());
    }
    bySource.clear();  // the borrows end before the store is written

    ConfigTransaction transaction(m_store);
    for (const SourceSnapshot& source : sources) {
        ConfigKey key(m_store);
        if (!key.openExisting(sourceKeyPath(source.name))) continue;  // never saved
        writePosition(key, source.position, source.type);
        if (source.hasBackup) writeBackupLength(key, source.backupLength);
    }
    for (const DiagramData& diagram : data) writeDiagramData(m_store, diagram);
    if (!transaction.commit()) {
        const std::string reason = m_store.lastError();
        m_failure = reason.empty() ? "the store refused the write" : reason;
        return false;
    }
    m_written = before;
    m_wroteOnce = true;
    return m_failure.empty();
}

std::string Checkpoint::failure() {
    std::lock_guard writing(m_writing);
    return m_failure;
}

std::chrono::seconds checkpointInterval(ConfigStore& store) {
    ConfigKey key(store);
    key.open("");
    return std::chrono::seconds(key.getDword("CheckpointSeconds", 60));
}

}  // namespace tg
