#include "desktop/sources_page.h"

#include "datasource/source_edit.h"
#include "datasource/source_exchange.h"
#include "desktop/source_editor.h"
#include "desktop/text.h"

namespace tg {

std::string uniqueName(const std::string& base, const std::vector<std::string>& names) {
    std::string name = base;
    for (unsigned number = 2; checkSourceName(name, {}, names) != SourceFieldError::None;
         ++number) {
        name = base + std::to_string(number);
    }
    return name;
}

SourcesPage::SourcesPage(SourceManager& sources, Prompts& prompts, QWidget* parent)
    : ListPage(prompts, parent), m_sources(sources) {
    addCommand(QStringLiteral("New"), [this] { newSource(); });
    addCommand(QStringLiteral("Edit"), [this] { editSource(); });
    addCommand(QStringLiteral("Delete"), [this] { deleteSource(); });
    addCommand(QStringLiteral("Export"), [this] { exportSource(); });
    addCommand(QStringLiteral("Import"), [this] { importSource(); });
    addCommand(QStringLiteral("Clone"), [this] { cloneSource(); });
    addCommand(QStringLiteral("Reset"), [this] { resetSource(); });
    addCommand(QStringLiteral("Rebuild"), [this] { rebuildSource(); });
    addCommand(QStringLiteral("Refresh List"), [this] { refresh(); });
    connect(&list(), &QTreeWidget::itemDoubleClicked, this, [this] { editSource(); });
    refresh();
}

void SourcesPage::refresh() {
    std::vector<Row> rows;
    for (const std::string& name : m_sources.names()) {
        const SourceHandle source = m_sources.acquire(name);
        if (source) rows.push_back({name, source->listenerCount() > 0});
    }
    fillRows(rows);
}

SourceHandle SourcesPage::selected() {
    const std::string name = selectedName();
    return name.empty() ? SourceHandle() : m_sources.acquire(name);
}

bool SourcesPage::runEditor(DataSource& source) {
    SourceEditor editor(m_sources, source, m_prompts, this);
    return m_prompts.runEditor(editor);
}

void SourcesPage::newSource() {
    const std::string name = uniqueName("DataSource", m_sources.names());
    if (m_sources.create(name) != 0) return;  // just found free
    SourceHandle source = m_sources.acquire(name);
    const bool saved = source && runEditor(*source);
    const std::string finalName = source ? source->name() : name;
    source.release();
    // A cancelled new source was never stored: it goes again.
    if (!saved) (void)m_sources.remove(name);  // nothing is stored under the name to keep
    refresh();
    select(finalName);
}

void SourcesPage::editSource() {
    SourceHandle source = selected();
    if (!source) return;
    if (source->listenerCount() > 0) {
        if (!m_prompts.ask(this, QStringLiteral("The DataSource is used for one or more Diagrams\n"
                                                "To Edit DataSource you need to stop all the "
                                                "Diagrams\nContinue ?"))) {
            return;
        }
        source->detachAll();
    }
    runEditor(*source);
    const std::string name = source->name();
    source.release();
    refresh();
    select(name);
}

void SourcesPage::deleteSource() {
    const std::string name = selectedName();
    if (name.empty() || !m_prompts.ask(this, QStringLiteral("Delete data source?"))) return;
    if (m_sources.remove(name) != 0) {
        m_prompts.tell(this, QStringLiteral("Data source can not be deleted: it is binded to one "
                                            "or more diagrams. "));
    }
    refresh();
}

void SourcesPage::exportSource() {
    const std::string name = selectedName();
    if (name.empty()) return;
    std::string document;
    std::string error;
    if (tg::exportSource(m_sources, name, document, error) != 0) {
        m_prompts.tell(this, fromStd(error));
        return;
    }
    exportDocument(document);
}

void SourcesPage::importSource() {
    std::string document;
    if (!importDocument(document)) return;
    std::string name;
    std::string error;
    if (tg::importSource(m_sources, document, question(), name, error) != 0) {
        if (!error.empty()) m_prompts.tell(this, fromStd(error));
        return;
    }
    refresh();
    select(name);
}

void SourcesPage::cloneSource() {
    SourceHandle source = selected();
    if (!source) return;
    SourceFields fields = sourceFieldsOf(*source);
    source.release();
    fields.name = uniqueName(fields.name + "_copy", m_sources.names());
    if (m_sources.create(fields.name) != 0) return;  // just found free
    SourceHandle copy = m_sources.acquire(fields.name);
    if (copy) (void)applySourceFields(*copy, fields);  // a new source has no listeners
    copy.release();
    refresh();
    select(fields.name);
}

void SourcesPage::resetSource() {
    SourceHandle source = selected();
    if (!source ||
        !m_prompts.ask(this, QStringLiteral("Reset DataSource and all the linked Diagrams?"))) {
        return;
    }
    source->reset();
    refresh();
}

void SourcesPage::rebuildSource() {
    SourceHandle source = selected();
    if (!source ||
        !m_prompts.ask(this, QStringLiteral("Restart DataSource and all the linked Diagrams?"))) {
        return;
    }
    source->restart();
    refresh();
}

}  // namespace tg
