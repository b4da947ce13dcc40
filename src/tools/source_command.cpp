// tgctl source: lists, shows and edits data source definitions.
//
// Reading commands (list, show) read an existing store without writing anything back and never
// build a DataSource: one writes its last position when it ends, which would put a stale
// position over a running daemon's. Changing commands (add, set, remove) hold the store's
// instance lock, so no daemon runs meanwhile; they load the sources as the daemon does, with
// every reader held, and apply the desktop editor's checks and steps, and refuse an expression
// that does not compile.

#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/config_key.h"
#include "datasource/list_text.h"
#include "datasource/source_edit.h"
#include "datasource/source_keys.h"
#include "datasource/source_manager.h"
#include "datasource/source_transport.h"
#include "regex/reg_exp.h"
#include "tools/command_line.h"
#include "tools/commands.h"
#include "tools/source_columns_command.h"
#include "tools/store_snapshot.h"
#include "tools/stored_names.h"

namespace tg {
namespace {

constexpr const char* kRemoveRefusal =
    "Data source can not be deleted: it is binded to one or more diagrams. ";
constexpr const char* kRenameRefusal =
    "Data source can not be renamed: it is binded to one or more diagrams";

// A type as users read it: its text, "none" for 0, the code for codes without a text.
std::string typeText(std::uint32_t code) {
    const std::string_view name = sourceTypeName(sourceTypeFromCode(code));
    if (!name.empty()) return std::string(name);
    return code == 0 ? "none" : "code " + std::to_string(code);
}

SourceType parseType(const std::string& text) {
    const SourceType type = sourceTypeFromName(text);
    if (type == SourceType::None) {
        throw UsageError("unknown --type \"" + text + "\" (use FILE, TCP/IP, UDP, ODBC or COM)");
    }
    return type;
}

bool parseSwitch(const std::string& option, const std::string& text) {
    if (text != "0" && text != "1") throw UsageError(option + " takes 0 or 1");
    return text == "1";
}

// "a,b,c" as three names; the empty text as none.
FieldNames parseFields(const std::string& text) {
    if (text.empty()) return {};
    FieldNames names = splitList(text + ",", ',');
    for (const std::string& name : names) {
        if (name.empty()) throw UsageError("--fields \"" + text + "\" has an empty field name");
    }
    return names;
}

std::string joinFields(const FieldNames& names) {
    std::string text = joinList(names, ',');
    if (!text.empty()) text.pop_back();  // as --fields takes it, without the final comma
    return text;
}

// Stands in for a stored diagram at its data source: attached as the diagram would be when the
// daemon starts, so the source refuses what it refuses while diagrams listen, and no diagram
// data is loaded or saved.
class DiagramStandIn final : public RecordListener {
public:
    void processRecord(const Record&, const FieldNames&) override {}
    void observeRecord(const Record&, const FieldNames&) override {}
    void reset() override {}
};

// The stored sources as the daemon loads them, with every reader held: no thread starts and no
// log is read. Ending writes each source's last position back as it was loaded.
class OfflineSources {
public:
    OfflineSources(ConfigStore& store, bool withDiagrams) : m_sources(store) {
        m_sources.holdReaders(true);
        if (!withDiagrams) return;
        try {
            for (const std::string& diagram : storedDiagramNames(store)) {
                SourceHandle source = m_sources.acquire(storedDiagramSource(store, diagram));
                if (!source) continue;  // the diagram stays stopped
                auto standIn = std::make_unique<DiagramStandIn>();
                source->attach(*standIn);
                m_standIns.emplace_back(source.get(), std::move(standIn));
            }
        } catch (...) {
            detachStandIns();
            throw;
        }
    }
    ~OfflineSources() { detachStandIns(); }
    OfflineSources(const OfflineSources&) = delete;
    OfflineSources& operator=(const OfflineSources&) = delete;

    SourceManager& manager() { return m_sources; }

private:
    // Sources with listeners are never removed or renamed here, so each is still alive.
    void detachStandIns() {
        for (auto& [source, standIn] : m_standIns) source->detach(*standIn);
        m_standIns.clear();
    }

    SourceManager m_sources;
    std::vector<std::pair<DataSource*, std::unique_ptr<DiagramStandIn>>> m_standIns;
};

// The options of add and set, checked before the store is touched; absent options leave the
// matching field as it is.
struct SourceOptions {
    std::optional<std::string> name;
    std::optional<SourceType> type;
    std::optional<std::string> regexp;
    std::optional<std::string> connect;
    std::optional<std::string> backup;
    std::optional<FieldNames> fields;
    std::optional<bool> datagramLines;

    explicit SourceOptions(const CommandLine& line)
        : name(line.option("--name")),
          regexp(line.option("--regexp")),
          connect(line.option("--connect")),
          backup(line.option("--backup")) {
        if (const auto text = line.option("--type")) type = parseType(*text);
        if (const auto text = line.option("--fields")) fields = parseFields(*text);
        if (const auto text = line.option("--datagram-lines")) {
            datagramLines = parseSwitch("--datagram-lines", *text);
        }
    }
    void applyTo(SourceFields& target) const {
        if (name) target.name = *name;
        if (type) target.type = *type;
        if (regexp) target.regexp = *regexp;
        if (connect) target.connect = *connect;
        if (backup) target.backup = *backup;
        if (fields) target.fields = *fields;
        if (datagramLines) target.datagramLines = *datagramLines;
    }
};

// The editor's checks, then what the command line gives: an expression that does not compile
// would be stored and match no line at all; a connect string its reader cannot read would
// only fail once the daemon runs (refused with the reader's own message).
void check(const SourceFields& fields, std::string_view originalName, SourceManager& sources,
           const SourceOptions& options) {
    const SourceFieldError error = checkSourceFields(fields, originalName, sources.names());
    if (error != SourceFieldError::None) throw CommandError(std::string(sourceFieldMessage(error)));
    if (options.regexp && !options.regexp->empty() && RegExp().compile(*options.regexp) != 0) {
        throw CommandError("Regular Expression Syntax Error");
    }
    if (options.connect || options.type) {
        const std::string syntax = connectSyntaxError(fields.type, fields.connect);
        if (!syntax.empty()) throw CommandError(syntax);
    }
}

bool dwordIs(ConfigKey& key, std::string_view name, std::uint32_t expected) {
    const auto value = key.queryValue(name);
    return value && value->type == ValueType::Dword && decodeDword(value->data) == expected;
}

// Store writes are silent: the definition is read back so that a failure is not reported as
// success.
void expectStored(ConfigStore& store, const SourceFields& fields) {
    ConfigKey key(store);
    std::string regexp;
    std::string connect;
    std::string backup;
    std::string names;
    const auto type =
        key.openExisting(sourceKeyPath(fields.name)) ? key.queryValue("type") : std::nullopt;
    const bool stored =
        type && type->type == ValueType::Dword &&
        decodeDword(type->data) == static_cast<std::uint32_t>(fields.type) &&
        key.queryString("regexp", regexp) == kStoreOk && regexp == fields.regexp &&
        key.queryString("connect", connect) == kStoreOk && connect == fields.connect &&
        key.queryString("backup", backup) == kStoreOk && backup == fields.backup &&
        key.queryString("fields", names) == kStoreOk && names == joinList(fields.fields, ',') &&
        dwordIs(key, "datagramlines", fields.datagramLines ? 1 : 0);
    if (!stored) {
        throw CommandError("cannot store data source " + fields.name + ": " + store.lastError());
    }
}

void listSources(StoreOpener& stores, const CommandLine& line) {
    line.expectAtMost(1);
    ConfigStore& store = stores.existingStore();
    for (const std::string& name : storedSourceNames(store)) {
        ConfigKey key(store);
        std::uint32_t code = 0;
        if (key.openExisting(sourceKeyPath(name))) {
            const auto value = key.queryValue("type");
            if (value && value->type == ValueType::Dword) {
                code = decodeDword(value->data).value_or(0);
            }
        }
        std::cout << name << '\t' << typeText(code) << '\n';
    }
}

void showSource(StoreOpener& stores, const CommandLine& line) {
    line.expectAtMost(2);
    const std::string& name = line.positional(1, "NAME");
    ConfigStore& store = stores.existingStore();
    if (!containsExactly(storedSourceNames(store), name)) {
        throw CommandError("no data source " + name);
    }
    // Read as loading reads it, defaults included, from a copy.
    StoreSnapshot snapshot(store, {sourceKeyPath(name)});
    ConfigKey key(snapshot.store());
    // Without the key every field shows its default, as loading would read it.
    (void)key.open(sourceKeyPath(name));
    std::cout << "name\t" << name << '\n';
    std::cout << "type\t" << typeText(key.getDword("type", 0)) << '\n';
    std::cout << "regexp\t" << key.getString("regexp", "") << '\n';
    std::cout << "connect\t" << key.getString("connect", "") << '\n';
    std::cout << "backup\t" << key.getString("backup", "") << '\n';
    std::cout << "fields\t" << joinFields(splitList(key.getString("fields", ""), ',')) << '\n';
    if (sourceTypeFromCode(key.getDword("type", 0)) == SourceType::Udp) {
        std::cout << "datagramlines\t" << key.getDword("datagramlines", 0) << '\n';
    }
    std::cout << "lastpos\t" << readStoredPosition(key).offset << '\n';
}

void addSource(StoreOpener& stores, const CommandLine& line) {
    line.expectAtMost(2);
    if (line.option("--name")) throw UsageError("--name belongs to source set");
    SourceFields fields;
    fields.name = line.positional(1, "NAME");
    const SourceOptions options(line);
    options.applyTo(fields);
    const auto lock = lockStoreForChange(stores);
    OfflineSources sources(stores.store(), false);
    check(fields, "", sources.manager(), options);
    if (sources.manager().create(fields.name) != 0) {
        throw CommandError(std::string(sourceFieldMessage(SourceFieldError::NameTaken)));
    }
    SourceHandle source = sources.manager().acquire(fields.name);
    (void)applySourceFields(*source, fields);
    expectStored(stores.store(), fields);
}

void setSource(StoreOpener& stores, const CommandLine& line) {
    line.expectAtMost(2);
    const std::string& name = line.positional(1, "NAME");
    const SourceOptions options(line);
    const auto lock = lockStoreForChange(stores);
    OfflineSources sources(stores.store(), true);
    SourceHandle source = sources.manager().acquire(name);
    if (!source) throw CommandError("no data source " + name);
    SourceFields fields = sourceFieldsOf(*source);
    options.applyTo(fields);
    check(fields, name, sources.manager(), options);
    const bool renaming = fields.name != name;
    // setName refuses a source with listeners (its diagrams would lose it) but lets the other
    // fields change: refuse the whole change instead of storing half of it.
    if (renaming && source->listenerCount() > 0) throw CommandError(kRenameRefusal);
    (void)applySourceFields(*source, fields);
    // A rename here moves the definition: the key of the old name would come back at the next
    // start as a second source.
    if (renaming && !sameStoredName(name, fields.name)) {
        DataSource::deleteStored(stores.store(), name);
        if (containsExactly(storedSourceNames(stores.store()), name)) {
            throw CommandError("cannot delete the definition under the old name " + name + ": " +
                               stores.store().lastError());
        }
    }
    expectStored(stores.store(), fields);
}

void removeSource(StoreOpener& stores, const CommandLine& line) {
    line.expectAtMost(2);
    const std::string& name = line.positional(1, "NAME");
    const auto lock = lockStoreForChange(stores);
    OfflineSources sources(stores.store(), true);
    if (!sources.manager().acquire(name)) throw CommandError("no data source " + name);
    if (sources.manager().remove(name) != 0) throw CommandError(kRemoveRefusal);
    if (containsExactly(storedSourceNames(stores.store()), name)) {
        throw CommandError("cannot delete data source " + name + ": " + stores.store().lastError());
    }
}

}  // namespace

void runSourceCommand(const std::vector<std::string>& words, StoreOpener& stores) {
    if (!words.empty() && (words[0] == "export" || words[0] == "import")) {
        runSourceExchangeCommand(words, stores);
        return;
    }
    const CommandLine line(
        words,
        {"--name", "--type", "--regexp", "--connect", "--backup", "--fields", "--datagram-lines"},
        {});
    const std::string& action =
        line.positional(0, "source command (list, show, add, set, remove, test, columns)");
    const bool editing = action == "add" || action == "set";
    for (const char* option : {"--name", "--type", "--regexp", "--connect", "--backup", "--fields",
                               "--datagram-lines"}) {
        if (!editing && line.option(option)) {
            throw UsageError(std::string(option) + " belongs to source add and source set");
        }
    }
    if (action == "list") {
        listSources(stores, line);
    } else if (action == "show") {
        showSource(stores, line);
    } else if (action == "add") {
        addSource(stores, line);
    } else if (action == "set") {
        setSource(stores, line);
    } else if (action == "remove") {
        removeSource(stores, line);
    } else if (action == "columns") {
        showSourceColumns(stores, line);
    } else if (action == "test") {
        line.expectAtMost(2);
        testSource(line.positional(1, "NAME"), stores);
    } else {
        throw UsageError("unknown source command " + action);
    }
}

}  // namespace tg
