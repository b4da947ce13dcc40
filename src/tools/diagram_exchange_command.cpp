// tgctl diagram export and import: one diagram definition as an XML file.
//
// export only reads: the diagram is loaded from a private copy of its keys, so nothing is
// written back beside a running daemon. import changes the store: it holds the store's
// instance lock and loads the definitions as the daemon does.

#include <string>
#include <vector>

#include "diagram/diagram_exchange.h"
#include "diagram/diagram_keys.h"
#include "tools/commands.h"
#include "tools/exchange_support.h"
#include "tools/store_snapshot.h"
#include "tools/stored_names.h"

namespace tg {
namespace {

void exportDiagramCommand(StoreOpener& stores, const CommandLine& line, CommandAnswers& answers) {
    line.expectAtMost(3);
    const std::string& name = line.positional(1, "NAME");
    const std::string& path = line.positional(2, "FILE");
    std::string document;
    std::string error;
    {
        ConfigStore& store = stores.existingStore();
        // The copy's key takes the name as given, whatever its case in the store.
        if (!containsExactly(storedDiagramNames(store), name)) {
            throw CommandError("no diagram " + name);
        }
        StoreSnapshot snapshot(store, {diagramKeyPath(name)});
        SourceManager noSources(snapshot.store());  // the copy holds no sources: nothing starts
        DiagramManager diagrams(snapshot.store(), noSources);
        if (exportDiagram(diagrams, name, document, error) != 0) throw CommandError(error);
    }
    writeExport(path, document, answers);
}

}  // namespace

void runDiagramExchangeCommand(const std::vector<std::string>& words, StoreOpener& stores) {
    const CommandLine line(words, {}, {"--replace"});
    CommandAnswers answers(line.flag("--replace"));
    if (line.positional(0, "diagram command") == "export") {
        exportDiagramCommand(stores, line, answers);
    } else {
        runImportCommand(
            stores, line, answers, "diagram", storedDiagramNames,
            [](OfflineDefinitions& definitions, ConfigStore& store, const std::string& document,
               ExchangeQuestion question, std::string& name, std::string& error) {
                return importDiagram(definitions.diagrams(), store, definitions.sources(), document,
                                     question, name, error);
            });
    }
}

}  // namespace tg
