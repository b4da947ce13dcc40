#pragma once
// Owns every Diagram of the process. Construction loads every stored diagram with its data
// and starts it; destruction destroys them in list order, each stopping and saving its data.
// Build it after the SourceManager and destroy it before.
//
// Any thread. Takes m_lock, then a diagram's lock; no diagram operation takes m_lock.
//
// Failures, as for the sources (source_manager.h): 0 done, 1 refused with nothing changed,
// an empty handle when no diagram has the name; all [[nodiscard]].

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "config/config_store.h"
#include "datasource/source_manager.h"
#include "diagram/checkpoint_request.h"
#include "diagram/diagram.h"
#include "diagram/diagram_handle.h"
#include "platform/lending_list.h"

namespace tg {

class DiagramManager {
public:
    DiagramManager(ConfigStore& store, SourceManager& sources);
    ~DiagramManager();
    DiagramManager(const DiagramManager&) = delete;
    DiagramManager& operator=(const DiagramManager&) = delete;

    std::vector<std::string> names() const;
    // The first diagram of that name; empty when none has it.
    [[nodiscard]] DiagramHandle acquire(std::string_view name);
    void release(DiagramHandle& handle) { handle.release(); }
    // 0 created (empty, neither saved nor started); 1 the name is taken.
    [[nodiscard]] int create(std::string_view name);
    void add(std::unique_ptr<Diagram> diagram);
    // 0 destroyed (its data saved first) and its stored tree erased; 1 no such diagram or
    // still referenced (nothing happens).
    [[nodiscard]] int remove(std::string_view name);
    // Erases a stored tree without touching diagrams in memory.
    void eraseStored(std::string_view name);

    // Runs body(diagrams), with every diagram in list order, under the manager's lock: none is
    // borrowed (a remove meanwhile waits and is then carried out, where a borrowed diagram
    // would refuse it), and none can go before body returns. For checkpoints; body may take a
    // source's lock, then a diagram's (manager, source, diagram).
    template <class Body>
    void withDiagrams(Body body) {
        std::lock_guard lock(m_lock);
        std::vector<Diagram*> diagrams;
        diagrams.reserve(m_diagrams.size());
        for (const auto& diagram : m_diagrams) diagrams.push_back(diagram.get());
        body(diagrams);
    }

    // Connects what every diagram of the manager calls when its stored data should be written
    // soon (CheckpointRequest); empty disconnects, waiting for a call in progress.
    void setCheckpointRequest(std::function<void()> ask);

private:
    void loadAll();

    ConfigStore& m_store;
    SourceManager& m_sources;
    mutable std::recursive_mutex m_lock;
    CheckpointRequest m_checkpointRequest;  // outlives every diagram, which points to it
    LendingList<Diagram> m_diagrams;        // guarded by m_lock
};

}  // namespace tg
