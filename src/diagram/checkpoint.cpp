#include "diagram/checkpoint.h"

#include <map>
#include <optional>
#include <vector>

#include "config/config_key.h"
#include "config/config_transaction.h"
#include "datasource/source_keys.h"

namespace tg {

Checkpoint::Checkpoint(ConfigStore& store, SourceManager& sources, DiagramManager& diagrams)
    : m_store(store), m_sources(sources), m_diagrams(diagrams) {}

std::uint64_t Checkpoint::signature() {
    std::uint64_t sum = 0;
    m_diagrams.withDiagrams([&](const std::vector<Diagram*>& diagrams) {
        for (const Diagram* diagram : diagrams) sum += diagram->changeCount() * 31;
    });
    for (const std::string& name : m_sources.names()) {
        if (SourceHandle source = m_sources.acquire(name)) {
            const ReadPosition delivered = source->deliveredPosition();
            sum += delivered.offset * 17 + delivered.generation;
        }
    }
    return sum;
}

void Checkpoint::copy(std::vector<SourceSnapshot>& sources, std::vector<DiagramData>& data) {
    // Under the manager's lock rather than with borrowed diagrams, which a remove would refuse.
    m_diagrams.withDiagrams([&](const std::vector<Diagram*>& diagrams) {
        std::map<std::string, std::vector<const Diagram*>> bySource;
        for (const Diagram* diagram : diagrams) {
            bySource[diagram->dataSourceName()].push_back(diagram);
        }
        for (const std::string& name : m_sources.names()) {
            SourceHandle source = m_sources.acquire(name);
            if (!source) continue;
            // The room for the copies is made before the source's deliveries wait for us.
            auto fed = bySource.find(name);
            const std::size_t first = data.size();
            if (fed != bySource.end()) {
                for (const Diagram* diagram : fed->second) data.push_back(diagram->roomForCopy());
            }
            auto delivery = source->holdDelivery();  // no record is half delivered meanwhile
            sources.push_back(
                {name, source->type(), source->deliveredPosition(), source->duplicateExtent()});
            if (fed == bySource.end()) continue;
            for (std::size_t i = 0; i < fed->second.size(); ++i) {
                fed->second[i]->copyInto(data[first + i]);
            }
            bySource.erase(fed);
        }
        for (auto& [source, unfed] : bySource) {  // diagrams whose source does not exist
            for (const Diagram* diagram : unfed) data.push_back(diagram->copyData());
        }
    });
}

bool Checkpoint::write(bool force) {
    std::lock_guard writing(m_writing);
    // Looked at even when nothing is due, so that a deleted store is noticed while idle.
    m_failure = m_store.pathProblem();
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const std::uint64_t erasures = Diagram::storedKeyErasures();
        const std::uint64_t before = signature();
        if (!force && m_wroteOnce && before == m_written) return m_failure.empty();
        std::vector<SourceSnapshot> sources;
        std::vector<DiagramData> data;
        copy(sources, data);
        if (m_afterCopy) m_afterCopy();

        ConfigTransaction transaction(m_store);
        // A diagram or item deleted or renamed since the copy: a copy may name a key that
        // is gone or belongs to another item now. Copy again rather than bring it back.
        if (Diagram::storedKeyErasures() != erasures) continue;
        for (const SourceSnapshot& source : sources) {
            ConfigKey key(m_store);
            if (!key.openExisting(sourceKeyPath(source.name))) continue;  // never saved
            writePosition(key, source.position, source.type);
            if (source.backup) writeBackupLength(key, *source.backup);
        }
        // Into existing keys only: a diagram that was never saved gets no key from here.
        for (const DiagramData& diagram : data) {
            writeDiagramData(m_store, diagram, MissingKeys::Skip);
        }
        if (!transaction.commit()) {
            const std::string reason = m_store.lastError();
            m_failure = reason.empty() ? "the store refused the write" : reason;
            return false;
        }
        m_written = before;
        m_wroteOnce = true;
        return m_failure.empty();
    }
    // Deleted and renamed again and again: whoever did it asks for another checkpoint.
    return m_failure.empty();
}

std::string Checkpoint::failure() {
    std::lock_guard writing(m_writing);
    return m_failure;
}

void Checkpoint::setAfterCopy(std::function<void()> hook) { m_afterCopy = std::move(hook); }

std::chrono::seconds checkpointInterval(ConfigStore& store) {
    ConfigKey key(store);
    // Without the key the default interval stands.
    (void)key.open("");
    return std::chrono::seconds(key.getDword("CheckpointSeconds", 60));
}

}  // namespace tg
