#pragma once
// Owns every DataSource of the process. Construction loads each stored definition; no
// source is started until a listener attaches. Destruction destroys the sources in list
// order, each stopping its reader and writing its last position.
//
// Any thread. Takes m_lock, then a source's lock.
//
// Failures, here as throughout the definitions (sources, diagrams and their items): an int
// result is 0 done and 1 refused (name taken, no such source, still borrowed, or listeners
// attached), and nothing changed when refused; a lookup answers an empty handle. Every such
// result is [[nodiscard]]; a caller that drops one says in a comment why the outcome does not
// matter to it.

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "config/config_store.h"
#include "datasource/data_source.h"
#include "datasource/source_handle.h"
#include "platform/event_sink.h"
#include "platform/lending_list.h"

namespace tg {

// Tools load sources to read or edit definitions (Inspect) and change no file; the daemon's
// start also cuts every duplicate log back to the stored data (DataSource::cutDuplicateLog).
enum class SourceLoading { Inspect, DaemonStart };

class SourceManager {
public:
    // `store` and `events` must outlive the manager.
    explicit SourceManager(ConfigStore& store, EventSink& events = noEventSink(),
                           SourceLoading loading = SourceLoading::Inspect);
    ~SourceManager();
    SourceManager(const SourceManager&) = delete;
    SourceManager& operator=(const SourceManager&) = delete;

    // Every source's name in list order.
    std::vector<std::string> names() const;
    // The first source whose name equals `name` exactly; an empty handle when none does.
    [[nodiscard]] SourceHandle acquire(std::string_view name);
    void release(SourceHandle& handle) { handle.release(); }
    // A new empty source, kept in memory until it is saved; 1 when the name exists.
    [[nodiscard]] int create(std::string_view name);
    // Takes a finished source (an import); no name check.
    void add(std::unique_ptr<DataSource> source);
    // Destroys the source and deletes its stored key with everything below it.
    [[nodiscard]] int remove(std::string_view name);

    // While held, no source starts its reader (see DataSource::holdReader), sources created
    // or added meanwhile included. Holds nest: readers start when the last one is let go.
    void holdReaders(bool held);
    // Detaches every listener from every source, so that every reader stops at a line
    // boundary with all its listeners holding the same records (orderly shutdown).
    void stopReaders();

    ConfigStore& store() const { return m_store; }
    EventSink& events() const { return m_events; }

private:
    ConfigStore& m_store;
    EventSink& m_events;
    mutable std::recursive_mutex m_lock;
    LendingList<DataSource> m_sources;  // guarded by m_lock
    unsigned m_holds = 0;               // guarded by m_lock
};

}  // namespace tg
