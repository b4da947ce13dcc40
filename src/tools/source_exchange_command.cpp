// tgctl source export and import: one data source definition as an XML file.
//
// export only reads: the source is loaded from a private copy of its keys, so nothing is
// written back beside a running daemon. import changes the store: it holds the store's
// instance lock and loads the definitions as the daemon does, so that a source used by
// diagrams is not replaced.

#include <string>
#include <vector>

#include "datasource/source_exchange.h"
#include "datasource/source_keys.h"
#include "tools/commands.h"
#include "tools/exchange_support.h"

namespace tg {

void runSourceExchangeCommand(const std::vector<std::string>& words, StoreOpener& stores) {
    const CommandLine line(words, {}, {"--replace"});
    CommandAnswers answers(line.flag("--replace"));
    if (line.positional(0, "source command") == "export") {
        runExportCommand(stores, line, answers, "data source", storedSourceNames, sourceKeyPath,
                         [](ConfigStore& copy, const std::string& name, std::string& document,
                            std::string& error) {
                             SourceManager sources(copy);
                             return exportSource(sources, name, document, error);
                         });
    } else {
        runImportCommand(
            stores, line, answers, "data source", storedSourceNames,
            [](OfflineDefinitions& definitions, ConfigStore&, const std::string& document,
               ExchangeQuestion question, std::string& name, std::string& error) {
                return importSource(definitions.sources(), document, question, name, error);
            });
    }
}

}  // namespace tg
