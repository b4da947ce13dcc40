#include "datasource/source_manager.h"

#include <algorithm>

#include "config/config_key.h"
#include "datasource/source_keys.h"

namespace tg {

SourceManager::SourceManager(ConfigStore& store, EventSink& events, SourceLoading loading)
    : m_store(store), m_events(events) {
    std::lock_guard lock(m_lock);
    ConfigKey sources(m_store);
    sources.open(kSourcesKey);
    for (const std::string& name : sources.subKeyNames()) {
        auto source = std::make_unique<DataSource>("Temp", m_store, m_events);
        source->load(name);
        if (loading == SourceLoading::DaemonStart) source->cutDuplicateLog();
        m_sources.push_back(std::move(source));
    }
}

SourceManager::~SourceManager() {
    std::lock_guard lock(m_lock);
    for (auto& source : m_sources) source.reset();
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
    std::vector<std::string> names;
    names.reserve(m_sources.size());
    for (const auto& source : m_sources) names.push_back(source->name());
    return names;
}

DataSource* SourceManager::find(std::string_view name) const {
    for (const auto& source : m_sources) {
        if (source->name() == name) return source.get();
    }
    return nullptr;
}

SourceHandle SourceManager::acquire(std::string_view name) {
    std::lock_guard lock(m_lock);
    return SourceHandle(find(name));
}

int SourceManager::create(std::string_view name) {
    std::lock_guard lock(m_lock);
    if (find(name)) return 1;
    m_sources.push_back(std::make_unique<DataSource>(std::string(name), m_store, m_events));
    if (m_holds > 0) m_sources.back()->holdReader(true);
    return 0;
}

void SourceManager::add(std::unique_ptr<DataSource> source) {
    if (!source) return;
    std::lock_guard lock(m_lock);
    if (m_holds > 0) source->holdReader(true);
    m_sources.push_back(std::move(source));
}

int SourceManager::remove(std::string_view name) {
    std::lock_guard lock(m_lock);
    auto it = std::find_if(m_sources.begin(), m_sources.end(),
                           [&](const auto& source) { return source->name() == name; });
    if (it == m_sources.end()) return 1;
    if ((*it)->useCount() > 0 || (*it)->listenerCount() > 0) return 1;
    const std::string removed(name);
    m_sources.erase(it);  // stops the reader and writes the last position first
    DataSource::deleteStored(m_store, removed);
    return 0;
}

}  // namespace tg
