#include "desktop/diagrams_page.h"

#include <algorithm>

#include "desktop/diagram_editor.h"
#include "desktop/sources_page.h"
#include "desktop/text.h"
#include "diagram/diagram_exchange.h"

namespace tg {

DiagramsPage::DiagramsPage(DiagramManager& diagrams, SourceManager& sources, ConfigStore& store,
                           Prompts& prompts, QWidget* parent)
    : ListPage(prompts, parent), m_diagrams(diagrams), m_sources(sources), m_store(store) {
    addCommand(QStringLiteral("New"), [this] { newDiagram(); });
    addCommand(QStringLiteral("Edit"), [this] { editDiagram(); });
    addCommand(QStringLiteral("Delete"), [this] { deleteDiagram(); });
    addCommand(QStringLiteral("Export"), [this] { exportDiagram(); });
    addCommand(QStringLiteral("Import"), [this] { importDiagram(); });
    addCommand(QStringLiteral("Start/Stop"), [this] { startStop(); });
    addCommand(QStringLiteral("Clone"), [this] { cloneDiagram(); });
    addCommand(QStringLiteral("Reset"), [this] { resetDiagram(); });
    addCommand(QStringLiteral("Rebuild"), [this] { rebuildDiagram(); });
    addCommand(QStringLiteral("Refresh List"), [this] { refresh(); });
    connect(&list(), &QTreeWidget::itemDoubleClicked, this, [this] { editDiagram(); });
    refresh();
}

void DiagramsPage::refresh() {
    std::vector<std::string> names = m_diagrams.names();
    std::sort(names.begin(), names.end());
    std::vector<Row> rows;
    for (const std::string& name : names) {
        const DiagramHandle diagram = m_diagrams.acquire(name);
        if (diagram) rows.push_back({name, diagram->isRunning()});
    }
    fillRows(rows);
}

DiagramHandle DiagramsPage::selected() {
    const std::string name = selectedName();
    return name.empty() ? DiagramHandle() : m_diagrams.acquire(name);
}

bool DiagramsPage::runEditor(Diagram& diagram) {
    DiagramEditor editor(m_diagrams, m_sources, diagram, m_prompts, this);
    return m_prompts.runEditor(editor);
}

void DiagramsPage::newDiagram() {
    const std::string name = uniqueName("Diagram", m_diagrams.names());
    if (m_diagrams.create(name) != 0) return;  // just found free
    DiagramHandle diagram = m_diagrams.acquire(name);
    const bool saved = diagram && runEditor(*diagram);
    const std::string finalName = diagram ? diagram->name() : name;
    diagram.release();
    if (!saved) {
        // The editor works on the live diagram; a cancelled new one goes with what it stored.
        (void)m_diagrams.remove(name);  // not borrowed any more
        m_diagrams.eraseStored(name);
    }
    refresh();
    select(finalName);
}

void DiagramsPage::editDiagram() {
    DiagramHandle diagram = selected();
    if (!diagram) return;
    runEditor(*diagram);
    const std::string name = diagram->name();
    diagram.release();
    refresh();
    select(name);
}

void DiagramsPage::deleteDiagram() {
    const std::string name = selectedName();
    if (name.empty() || !m_prompts.ask(this, QStringLiteral("Delete diagram?"))) return;
    if (m_diagrams.remove(name) != 0) {
        m_prompts.tell(this, QStringLiteral("Diagram can not be deleted: it is in use."));
    }
    refresh();
}

void DiagramsPage::exportDiagram() {
    const std::string name = selectedName();
    if (name.empty()) return;
    std::string document;
    std::string error;
    if (tg::exportDiagram(m_diagrams, name, document, error) != 0) {
        m_prompts.tell(this, fromStd(error));
        return;
    }
    exportDocument(document);
}

void DiagramsPage::importDiagram() {
    std::string document;
    if (!importDocument(document)) return;
    std::string name;
    std::string error;
    if (tg::importDiagram(m_diagrams, m_store, m_sources, document, question(), name, error) != 0) {
        if (!error.empty()) m_prompts.tell(this, fromStd(error));
        return;
    }
    refresh();
    select(name);
}

void DiagramsPage::startStop() {
    DiagramHandle diagram = selected();
    if (!diagram) return;
    const int refused = diagram->isRunning() ? diagram->stop() : diagram->start();
    if (refused != 0) {
        m_prompts.tell(this, QStringLiteral("The diagram's data source does not exist."));
    }
    refresh();
}

void DiagramsPage::cloneDiagram() {
    DiagramHandle original = selected();
    if (!original) return;
    const std::string name = uniqueName(original->name() + "_copy", m_diagrams.names());
    if (m_diagrams.create(name) != 0) return;  // just found free
    DiagramHandle copy = m_diagrams.acquire(name);
    if (!copy) return;
    (void)copy->setDataSource(original->dataSourceName());  // a missing source stays named
    for (const ItemKind* kind : kItemKinds) {
        for (const ItemDefinition& item : original->items(*kind)) {
            copy->setItem(*kind, item.name, {item.field, item.regexp, item.setting});
        }
    }
    copy->saveDefinition();
    (void)copy->start();  // runs when its source exists, as a loaded diagram does
    copy.release();
    original.release();
    refresh();
    select(name);
}

void DiagramsPage::resetDiagram() {
    DiagramHandle diagram = selected();
    if (!diagram || !m_prompts.ask(this, QStringLiteral("Reset Diagram Data?"))) return;
    diagram->clearData();
    refresh();
}

void DiagramsPage::rebuildDiagram() {
    DiagramHandle diagram = selected();
    if (!diagram || !m_prompts.ask(this, QStringLiteral("Rebuild Diagram Data?"))) return;
    (void)diagram->rebuild(0);  // a diagram without a source stays empty
    refresh();
}

}  // namespace tg
