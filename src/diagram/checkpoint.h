#pragma once
// Writes the accumulated data of every diagram together with the position of every source,
// in one store transaction, so that after an abrupt end the process resumes each log just
// after the last line whose records are in the stored data: no line is lost and none is
// counted twice. Also records how much of each duplicate log belongs to that data.
//
// Each source's snapshot is taken under its lock (no record half delivered), each diagram's
// lock is held only while its data is copied, and the store is written outside every lock.
// The copy holds the diagram manager's lock instead of borrowing diagrams, so that a remove
// meanwhile waits for it rather than being refused. Any thread; one write at a time.

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "config/config_store.h"
#include "datasource/source_manager.h"
#include "diagram/diagram_manager.h"

namespace tg {

class Checkpoint {
public:
    Checkpoint(ConfigStore& store, SourceManager& sources, DiagramManager& diagrams);

    // Writes unless nothing changed since the last write (always with `force`). False when a
    // write was due and the store refused it, or when the store's path no longer names the file
    // in use (the data then went into a file that nobody will open again); failure() says why.
    // Writes only into keys that exist: a diagram or item deleted or renamed meanwhile is never
    // brought back.
    bool write(bool force = false);
    // Why the last write() returned false; empty after a success.
    std::string failure();

    // Runs between copying the data and writing it, on the writing thread (tests make their
    // changes there). Set it before the first write.
    void setAfterCopy(std::function<void()> hook);

private:
    struct SourceSnapshot {
        std::string name;
        SourceType type = SourceType::None;
        ReadPosition position;
        std::optional<DuplicateExtent> backup;
    };
    // Copies that erasures kept making stale before a write gives up until the next request.
    static constexpr int kAttempts = 3;

    std::uint64_t signature();
    void copy(std::vector<SourceSnapshot>& sources, std::vector<DiagramData>& data);

    ConfigStore& m_store;
    SourceManager& m_sources;
    DiagramManager& m_diagrams;
    std::mutex m_writing;
    std::uint64_t m_written = 0;  // signature of the last write; guarded by m_writing
    bool m_wroteOnce = false;
    std::function<void()> m_afterCopy;
    std::string m_failure;  // guarded by m_writing
};

// The interval between checkpoints: the product key's DWORD "CheckpointSeconds" (written as
// 60 when missing); 0 turns periodic checkpoints off.
std::chrono::seconds checkpointInterval(ConfigStore& store);

}  // namespace tg
