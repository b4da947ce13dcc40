#include "datasource/source_manager.h"

#include "config/config_key.h"
#include "datasource/source_keys.h"

namespace tg {

SourceManager::SourceManager(ConfigStore& store, EventSink& events, SourceLoading loading)
    : m_store(store), m_events(events) {
    std::lock_guard lock(m_lock);
    ConfigKey sources(m_store);
    // Without the key there is nothing stored to load: the list stays empty.
    (void)sources.open(kSourcesKey);
    for (const std::string& name : sources.subKeyNames()) {
        auto source = std::make_unique<DataSource>("Temp", m_store, m_events);
        source->load(name);
        if (loading == SourceLoading::DaemonStart) source->cutDuplicateLog();
        m_sources.add(std::move(source));
    }
}

SourceManager::~SourceManager() {
    std::lock_guard lock(m_lock);
    m_sources.clear();
}

void SourceManager::holdReaders(bool held) {
    std::lock_guard lock(m_lock);
    if (held ? m_holds++ > 0 : m_holds == 0 || --m_holds > 0) return;  // nested holds
    for (auto& source : m_sources) source->holdReader(held);
}

void SourceManager::stopReaders() {
    std::lock_guard lock(m_lock);
    for (auto& source : m_sources) source->detachAll();
}

std::vector<std::string> SourceManager::names() const {
    std::lock_guard lock(m_lock);
    return m_sources.names();
}

SourceHandle SourceManager::acquire(std::string_view name) {
    std::lock_guard lock(m_lock);
    return m_sources.acquire(name);
}

int SourceManager::create(std::string_view name) {
    std::lock_guard lock(m_lock);
    if (m_sources.find(name)) return 1;
    DataSource& source =
        m_sources.add(std::make_unique<DataSource>(std::string(name), m_store, m_events));
    if (m_holds > 0) source.holdReader(true);
    return 0;
}

void SourceManager::add(std::unique_ptr<DataSource> source) {
    if (!source) return;
    std::lock_guard lock(m_lock);
    if (m_holds > 0) source->holdReader(true);
    m_sources.add(std::move(source));
}

int SourceManager::remove(std::string_view name) {
    std::lock_guard lock(m_lock);
    const std::string removed(name);
    const auto listened = [](const DataSource& source) { return source.listenerCount() > 0; };
    // Destruction stops the reader and writes the last position first.
    if (m_sources.remove(name, listened) != 0) return 1;
    DataSource::deleteStored(m_store, removed);
    return 0;
}

}  // namespace tg
