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
#include "tools/store_snapshot.h"
#include "tools/stored_names.h"

namespace tg {
namespace {

void exportSourceCommand(StoreOpener& stores, const CommandLine& line, CommandAnswers& answers) {
    line.expectAtMost(3);
    const std::string& name = line.positional(1, "NAME");
    const std::string& path = line.positional(2, "FILE");
    std::string document;
    std::string error;
    {
        ConfigStore& store = stores.existingStore();
        // The copy's key takes the name as given, whatever its case in the store.
        if (!containsExactly(storedSourceNames(store), name)) {
            throw CommandError("no data source " + name);
        }
        StoreSnapshot snapshot(store, {sourceKeyPath(name)});
        SourceManager sources(snapshot.store());
        if (exportSource(sources, name, document, error) != 0) throw CommandError(error);
    }
    writeExport(path, document, answers);
}

}  // namespace

void runSourceExchangeCommand(const std::vector<std::string>& words, StoreOpener& stores) {
    const CommandLine line(words, {}, {"--replace"});
    CommandAnswers answers(line.flag("--replace"));
    if (line.positional(0, "source command") == "export") {
        exportSourceCommand(stores, line, answers);
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
