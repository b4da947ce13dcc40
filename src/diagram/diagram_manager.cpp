#include "diagram/diagram_manager.h"

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
    m_diagrams.clear();
}

void DiagramManager::loadAll() {
    std::lock_guard lock(m_lock);
    // Every diagram of a source is attached before it reads its first line, so that all of
    // them count the same records.
    m_sources.holdReaders(true);
    ConfigKey diagrams(m_store);
    // Without the key there is nothing stored to load.
    (void)diagrams.open(kDiagramsKey);
    for (const std::string& name : diagrams.subKeyNames()) {
        auto diagram = std::make_unique<Diagram>("Temp", m_store, m_sources);
        diagram->loadDefinition(name);
        diagram->loadData();
        diagram->setCheckpointRequest(&m_checkpointRequest);
        // A diagram whose source is missing stays stopped until it exists.
        (void)diagram->start();
        m_diagrams.add(std::move(diagram));
    }
    m_sources.holdReaders(false);
}

std::vector<std::string> DiagramManager::names() const {
    std::lock_guard lock(m_lock);
    return m_diagrams.names();
}

DiagramHandle DiagramManager::acquire(std::string_view name) {
    std::lock_guard lock(m_lock);
    return m_diagrams.acquire(name);
}

int DiagramManager::create(std::string_view name) {
    std::lock_guard lock(m_lock);
    if (m_diagrams.find(name)) return 1;
    m_diagrams.add(std::make_unique<Diagram>(std::string(name), m_store, m_sources))
        .setCheckpointRequest(&m_checkpointRequest);
    return 0;
}

void DiagramManager::add(std::unique_ptr<Diagram> diagram) {
    if (!diagram) return;
    diagram->setCheckpointRequest(&m_checkpointRequest);
    std::lock_guard lock(m_lock);
    m_diagrams.add(std::move(diagram));
}

void DiagramManager::setCheckpointRequest(std::function<void()> ask) {
    m_checkpointRequest.connect(std::move(ask));
}

int DiagramManager::remove(std::string_view name) {
    std::lock_guard lock(m_lock);
    const std::string removed(name);
    // Destruction stops the diagram and saves its data first.
    if (m_diagrams.remove(name) != 0) return 1;
    Diagram::eraseStored(m_store, removed);
    return 0;
}

void DiagramManager::eraseStored(std::string_view name) { Diagram::eraseStored(m_store, name); }

}  // namespace tg
