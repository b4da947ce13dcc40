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

namespace tg {

void runDiagramExchangeCommand(const std::vector<std::string>& words, StoreOpener& stores) {
    const CommandLine line(words, {}, {"--replace"});
    CommandAnswers answers(line.flag("--replace"));
    if (line.positional(0, "diagram command") == "export") {
        runExportCommand(stores, line, answers, "diagram", storedDiagramNames, diagramKeyPath,
                         [](ConfigStore& copy, const std::string& name, std::string& document,
                            std::string& error) {
                             // the copy holds no sources: nothing starts
                             SourceManager noSources(copy);
                             DiagramManager diagrams(copy, noSources);
                             return exportDiagram(diagrams, name, document, error);
                         });
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
