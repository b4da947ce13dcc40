#pragma once
// The Diagrams page: every diagram (names in byte order) with its running state, and the
// commands New, Edit, Delete, Export, Import, Start/Stop, Clone, Reset, Rebuild and Refresh
// List, each through the diagram manager's and the diagrams' own operations.
//
// Main thread only.

#include "config/config_store.h"
#include "datasource/source_manager.h"
#include "desktop/list_page.h"
#include "diagram/diagram_manager.h"

namespace tg {

class DiagramsPage final : public ListPage {
public:
    DiagramsPage(DiagramManager& diagrams, SourceManager& sources, ConfigStore& store,
                 Prompts& prompts, QWidget* parent = nullptr);
    void refresh() override;

    void newDiagram();
    void editDiagram();
    void deleteDiagram();
    void exportDiagram();
    void importDiagram();
    void startStop();
    void cloneDiagram();
    void resetDiagram();
    void rebuildDiagram();

private:
    DiagramHandle selected();
    bool runEditor(Diagram& diagram);

    DiagramManager& m_diagrams;
    SourceManager& m_sources;
    ConfigStore& m_store;
};

}  // namespace tg
