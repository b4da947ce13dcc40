#include "tools/diagram_rebuild_command.h"

#include <string>

#include "datasource/source_manager.h"
#include "diagram/diagram.h"
#include "tools/stored_names.h"

namespace tg {

void rebuildDiagram(StoreOpener& stores, const CommandLine& line) {
    line.expectAtMost(2);
    const std::string& name = line.positional(1, "NAME");
    const auto lock = lockStoreForChange(stores);
    ConfigStore& store = stores.store();
    if (!containsExactly(storedDiagramNames(store), name)) throw CommandError("no diagram " + name);
    // The sources as the daemon loads them, with no reader: only the log is read. Ending writes
    // each source's last position back as it was loaded.
    SourceManager sources(store);
    sources.holdReaders(true);
    Diagram diagram("Temp", store, sources);
    diagram.loadDefinition(name);
    const std::string sourceName = diagram.dataSourceName();
    SourceHandle source = sources.acquire(sourceName);
    if (!source) throw CommandError("no data source " + sourceName);
    const std::string backup = source->backup();
    source = SourceHandle();
    if (diagram.rebuild(0) == 0) {
        diagram.loadData();  // what it saves as it ends is then the stored data again
        throw CommandError("cannot read the duplicate log of data source " + sourceName +
                           (backup.empty() ? " (none is set)" : ": " + backup));
    }
}  // the diagram saves its data as it ends

}  // namespace tg
