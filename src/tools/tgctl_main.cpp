// tgctl: command-line management of a Tessellgrove store for headless installations.
// Exit codes: 0 success, 1 failure (one line on standard error), 2 usage error.

#include <clocale>
#include <cstdio>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "tools/command_line.h"
#include "tools/commands.h"

namespace {

constexpr const char* kUsage =
    "usage: tgctl [--store PATH] COMMAND ...\n"
    "\n"
    "  reg list KEY                          sub-key names of KEY, one per line\n"
    "  reg get KEY VALUE                     one value (DWORD in decimal, binary in hex)\n"
    "  reg set KEY VALUE --string TEXT | --dword N\n"
    "  reg delete KEY [VALUE]                a key with everything below it, or one value\n"
    "  reg dump [KEY]                        the tree below KEY with its values\n"
    "  regexp test PATTERN SAMPLE            what the expression extracts from SAMPLE\n"
    "  regexp explain PATTERN                which engine matches it; for glibc, why\n"
    "  parse --regexp RE [--fields a,b,c] [--backup PATH] [FILE|-]\n"
    "                                        records of a log (standard input for - or none)\n"
    "  source list                           NAME<TAB>TYPE per data source\n"
    "  source show NAME                      the definition and last position\n"
    "  source add NAME --type FILE|TCP/IP|UDP|ODBC|COM --regexp RE --connect TEXT\n"
    "             --backup PATH [--fields a,b,c]\n"
    "  source set NAME [--name NEW] [--type T] [--regexp RE] [--connect TEXT]\n"
    "             [--backup PATH] [--fields a,b,c]   only the given values change\n"
    "             add and set: [--datagram-lines 0|1]  UDP: each datagram ends a line\n"
    "  source remove NAME                    refused while diagrams use it\n"
    "  source columns NAME                   the result columns of an ODBC source's query\n"
    "  source test NAME                      tries the source's connection: OK or the reason\n"
    "  source export NAME FILE|- [--replace] the definition as XML\n"
    "  source import FILE|- [--replace]      --replace overwrites a source of the same name\n"
    "  diagram list                          NAME<TAB>DATA SOURCE<TAB>RUNNING per diagram\n"
    "  diagram show NAME [--format json|csv] the definition, then the data as a table; or\n"
    "                                        the data as JSON or CSV (UTF-8)\n"
    "  diagram rebuild NAME                  the data folded again from the duplicate log\n"
    "  diagram export NAME FILE|- [--replace]\n"
    "  diagram import FILE|- [--replace]\n"
    "  user list                             NAME<TAB>view|edit per account\n"
    "  user add NAME [--edit]                the password: asked twice on a terminal, else\n"
    "                                        one line of standard input\n"
    "  user remove NAME\n"
    "  settings show                         the web server's port and event log settings\n"
    "  settings set Port|WebLogEnabled|MaxLogSize|LogPath VALUE\n"
    "\n"
    "reg set and delete, source add, set, remove and import, diagram rebuild and import\n"
    "need tessellgroved stopped on the store; reading commands work beside it and need an\n"
    "existing store. RUNNING says whether the diagram starts with the daemon: its data source\n"
    "exists. Settings changed while tessellgroved runs take effect at its restart.\n"
    "\n"
    "KEY is relative to SOFTWARE\\kestroware\\Tessellgrove\\2.0, backslash-separated\n"
    "(sources\\web); an empty KEY or \\ is that key itself.\n"
    "The store is --store PATH, else $TESSELLGROVE_STORE, else\n"
    "$XDG_STATE_HOME/tessellgrove/store.db (~/.local/state/tessellgrove/store.db).\n";

int run(std::vector<std::string> words) {
    std::optional<std::string> storeOption;
    for (std::size_t i = 0; i < words.size() && words[i] != "--"; ++i) {
        if (words[i] == "--help" || words[i] == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (words[i] == "--store") {
            if (i + 1 >= words.size()) throw tg::UsageError("--store needs a value");
            storeOption = words[i + 1];
            words.erase(words.begin() + i, words.begin() + i + 2);
            --i;
        }
    }
    if (words.empty()) throw tg::UsageError("missing command");

    const std::string group = words.front();
    const std::vector<std::string> rest(words.begin() + 1, words.end());
    tg::StoreOpener stores(storeOption);
    if (group == "reg") {
        tg::runRegCommand(rest, stores);
    } else if (group == "regexp") {
        tg::runRegexpCommand(rest);
    } else if (group == "parse") {
        tg::runParseCommand(rest, stores);
    } else if (group == "source") {
        tg::runSourceCommand(rest, stores);
    } else if (group == "diagram") {
        tg::runDiagramCommand(rest, stores);
    } else if (group == "user") {
        tg::runUserCommand(rest, stores);
    } else if (group == "settings") {
        tg::runSettingsCommand(rest, stores);
    } else {
        throw tg::UsageError("unknown command " + group);
    }
    std::cout.flush();
    if (!std::cout) throw tg::CommandError("cannot write to standard output");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Expressions match bytes, as in the daemon, whatever the environment's locale.
    std::setlocale(LC_ALL, "C");
    try {
        return run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const tg::UsageError& e) {
        std::cerr << "tgctl: " << e.what() << "\n\n" << kUsage;
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "tgctl: " << e.what() << "\n";
        return 1;
    }
}
