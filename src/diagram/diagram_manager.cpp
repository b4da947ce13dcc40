#include "diagram/diagram_manager.h"

#include <algorithm>

#include "config/config_key.h"
#include "diagram/diagram_keys.h"

namespace tg {

DiagramManager::DiagramManager(ConfigStore& store, SourceManager& sources)
    : m_store(store), m_sources(sources) {
    loadAll();
}

DiagramManager::~DiagramManager() {
    // Every reader stops first, so that all diagrams end with the same records and the
    // positions the sources write afterwards match the data saved here.
    m_sources.stopReaders();
    std::lock_guard lock(m_lock);
    for (auto& diagram : m_diagrams) diagram.reset();
    m_diagrams.clear();
}

void DiagramManager::loadAll() {
    std::lock_guard lock(m_lock);
    // Every diagram of a source is attached before it reads its first line, so that all of
    // them count the same records.
    m_sources.holdReaders(true);
    ConfigKey diagrams(m_store);
    diagrams.open(kDiagramsKey);
    for (const std::string& name : diagrams.subKeyNames()) {
        auto diagram = std::make_unique<Diagram>("Temp", m_store, m_sources);
        diagram->loadDefinition(name);
        diagram->loadData();
        diagram->setCheckpointRequest(&m_checkpointRequest);
        diagram->start();
        m_diagrams.push_back(std::move(diagram));
    }
    m_sources.holdReaders(false);
}

std::vector<std::string> DiagramManager::names() const {
    std::lock_guard lock(m_lock);
    std::vector<std::string> names;
    names.reserve(m_diagrams.size());
    for (const auto& diagram : m_diagrams) names.push_back(diagram->name());
    return names;
}

Diagram* DiagramManager::find(std::string_view name) const {
    for (const auto& diagram : m_diagrams) {
        if (diagram->name() == name) return diagram.get();
    }
    return nullptr;
}

DiagramHandle DiagramManager::acquire(std::string_view name) {
    std::lock_guard lock(m_lock);
    return DiagramHandle(find(name));
}

int DiagramManager::create(std::string_view name) {
    std::lock_guard lock(m_lock);
    if (find(name)) return 1;
    m_diagrams.push_back(std::make_unique<Diagram>(std::string(name), m_store, m_sources));
    m_diagrams.back()->setCheckpointRequest(&m_checkpointRequest);
    return 0;
}

void DiagramManager::add(std::unique_ptr<Diagram> diagram) {
    if (!diagram) return;
    diagram->setCheckpointRequest(&m_checkpointRequest);
    std::lock_guard lock(m_lock);
    m_diagrams.push_back(std::move(diagram));
}

void DiagramManager::setCheckpointRequest(std::function<void()> ask) {
    m_checkpointRequest.connect(std::move(ask));
}

int DiagramManager::remove(std::string_view name) {
    std::lock_guard lock(m_lock);
    auto it = std::find_if(m_diagrams.begin(), m_diagrams.end(),
                           [&](const auto& diagram) { return diagram->name() == name; });
    if (it == m_diagrams.end() || (*it)->useCount() > 0) return 1;
    const std::string removed(name);
    m_diagrams.erase(it);  // stops it and saves its data first
    Diagram::eraseStored(m_store, removed);
    return 0;
}

void DiagramManager::eraseStored(std::string_view name) { Diagram::eraseStored(m_store, name); }

}  // namespace tg
