#pragma once
// What the export and import commands of sources and diagrams share: the answer to the flows'
// questions (--replace answers yes; without it the command ends with the question), "-" for
// standard input and output, and the definitions loaded as the daemon loads them.

#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "datasource/definition_file.h"
#include "datasource/source_manager.h"
#include "diagram/diagram_manager.h"
#include "tools/command_line.h"
#include "tools/commands.h"
#include "tools/store_snapshot.h"
#include "tools/stored_names.h"

namespace tg {

// Answers every question with `replace` and remembers the last one asked.
class CommandAnswers {
public:
    explicit CommandAnswers(bool replace) : m_replace(replace) {}
    ExchangeQuestion question() {
        return [this](const std::string& question) {
            m_asked = question;
            return m_replace;
        };
    }
    // Throws for a flow that ended with 1: its error, or the question declined.
    [[noreturn]] void fail(const std::string& error) const {
        if (!error.empty()) throw CommandError(error);
        throw CommandError(m_asked + " (--replace answers yes)");
    }

private:
    bool m_replace;
    std::string m_asked;
};

// The document to import: the file at `path`, or standard input for "-".
inline std::string readImport(const std::string& path) {
    std::string text;
    std::string error;
    const int rc =
        path == "-" ? readDefinitionInput(0, text, error) : readDefinitionFile(path, text, error);
    if (rc != 0) throw CommandError(error);
    return text;
}

// Writes an exported document to the file at `path` (asking before one is replaced), or to
// standard output for "-".
inline void writeExport(const std::string& path, const std::string& document,
                        CommandAnswers& answers) {
    if (path == "-") {
        std::cout << document;
        return;
    }
    std::string error;
    if (writeDefinitionFile(path, document, answers.question(), error) != 0) answers.fail(error);
}

// Every stored source and diagram, loaded as the daemon loads them, with no reader running:
// diagrams listen to their sources, so a source they use cannot be removed. Ending saves each
// diagram's data and each source's position as they were loaded.
class OfflineDefinitions {
public:
    explicit OfflineDefinitions(ConfigStore& store)
        : m_sources(store), m_hold(m_sources), m_diagrams(store, m_sources) {}

    SourceManager& sources() { return m_sources; }
    DiagramManager& diagrams() { return m_diagrams; }

private:
    // Holds every reader from before the diagrams attach; never let go, since the diagrams
    // detach (stopping nothing) before the sources end.
    struct ReaderHold {
        explicit ReaderHold(SourceManager& sources) { sources.holdReaders(true); }
    };

    SourceManager m_sources;
    ReaderHold m_hold;
    DiagramManager m_diagrams;
};

// The import command of either kind: reads FILE, runs `import` (the flow, given the loaded
// definitions, the store, the question and where to put the imported name and the error) with
// the store locked for change, and checks that the store holds the name afterwards: store
// writes are silent. `what` names the kind in the message ("data source", "diagram").
template <class Import>
void runImportCommand(StoreOpener& stores, const CommandLine& line, CommandAnswers& answers,
                      std::string_view what, std::vector<std::string> (*storedNames)(ConfigStore&),
                      Import import) {
    line.expectAtMost(2);
    const std::string document = readImport(line.positional(1, "FILE"));
    const auto lock = lockStoreForChange(stores);
    ConfigStore& store = stores.store();
    std::string name;
    std::string error;
    {
        OfflineDefinitions definitions(store);
        if (import(definitions, store, document, answers.question(), name, error) != 0) {
            answers.fail(error);
        }
    }
    if (!containsExactly(storedNames(store), name)) {
        throw CommandError("cannot store " + std::string(what) + " " + name + ": " +
                           store.lastError());
    }
}

// The export command of either kind: NAME FILE. Exports from a private copy of the store's
// key at `keyPath` (so nothing is written beside a running daemon) with `exportFlow` (given
// the copy, the name, where to put the document and the error), then writes the document.
// The copy's key takes the name as given, whatever its case in the store, so the name must
// be stored exactly so.
template <class Export>
void runExportCommand(StoreOpener& stores, const CommandLine& line, CommandAnswers& answers,
                      std::string_view what, std::vector<std::string> (*storedNames)(ConfigStore&),
                      std::string (*keyPath)(std::string_view), Export exportFlow) {
    line.expectAtMost(3);
    const std::string& name = line.positional(1, "NAME");
    const std::string& path = line.positional(2, "FILE");
    std::string document;
    std::string error;
    {
        ConfigStore& store = stores.existingStore();
        if (!containsExactly(storedNames(store), name)) {
            throw CommandError("no " + std::string(what) + " " + name);
        }
        StoreSnapshot snapshot(store, {keyPath(name)});
        if (exportFlow(snapshot.store(), name, document, error) != 0) throw CommandError(error);
    }
    writeExport(path, document, answers);
}

}  // namespace tg
