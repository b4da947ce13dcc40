#pragma once
// The DataSource page: every source with its running state (running while listeners are
// attached), and the commands New, Edit, Delete, Export, Import, Clone, Reset, Rebuild and
// Refresh List, each through the source manager's and the sources' own operations.
//
// Main thread only.

#include "datasource/source_manager.h"
#include "desktop/list_page.h"

namespace tg {

class SourcesPage final : public ListPage {
public:
    SourcesPage(SourceManager& sources, Prompts& prompts, QWidget* parent = nullptr);
    void refresh() override;

    void newSource();
    void editSource();
    void deleteSource();
    void exportSource();
    void importSource();
    void cloneSource();
    void resetSource();
    void rebuildSource();

private:
    // The selected source, borrowed; empty (and the user told nothing) when none is selected.
    SourceHandle selected();
    // Opens the editor; true when it ended with Ok.
    bool runEditor(DataSource& source);

    SourceManager& m_sources;
};

// The first of `base`, `base` 2, `base` 3 ... that the store can keep beside `names`.
std::string uniqueName(const std::string& base, const std::vector<std::string>& names);

}  // namespace tg
