#pragma once
// The "Edit Diagram" editor, on the live diagram: a change of data source and every change of
// its filters, groups and y-axes apply at once; Ok checks the name and the data source, applies
// a changed name and saves the definition. The "Monitor" list shows the diagram's recent records
// each second.
//
// Main thread only. The diagram must outlive the editor.

#include <QDialog>
#include <QTimer>

#include "datasource/source_manager.h"
#include "desktop/prompts.h"
#include "diagram/diagram_manager.h"

class QComboBox;
class QLineEdit;
class QTreeWidget;

namespace tg {

class ItemTable;

class DiagramEditor final : public QDialog {
public:
    DiagramEditor(DiagramManager& diagrams, SourceManager& sources, Diagram& diagram,
                  Prompts& prompts, QWidget* parent = nullptr);

    ItemTable& items(ItemType type) { return *m_tables[static_cast<std::size_t>(type)]; }
    // Asks, then clears the diagram's data so the monitor shows what comes from now on.
    void monitor();
    void showRecent();

    void accept() override;

private:
    void chooseSource();

    DiagramManager& m_diagrams;
    Diagram& m_diagram;
    Prompts& m_prompts;
    OpenEditors m_open;
    const std::string m_found;  // the name when the editor opened
    QLineEdit* m_name = nullptr;
    QComboBox* m_source = nullptr;
    ItemTable* m_tables[3] = {};
    QTreeWidget* m_recent = nullptr;
    QTimer m_timer;
};

}  // namespace tg
