// tgctl diagram: lists the stored diagrams and shows one with its accumulated data.
//
// Both commands only read. A Diagram writes defaults back as it loads and saves its data when
// it ends, so show builds one over a private copy of the diagram's keys (StoreSnapshot), never
// over the store a running daemon saves its data into.

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "datasource/source_manager.h"
#include "diagram/axis_oper.h"
#include "diagram/diagram.h"
#include "diagram/diagram_keys.h"
#include "metrics/diagram_export.h"
#include "tools/command_line.h"
#include "tools/commands.h"
#include "tools/diagram_rebuild_command.h"
#include "tools/store_snapshot.h"
#include "tools/stored_names.h"

namespace tg {
namespace {

// No stored value says whether a diagram runs: the daemon starts every diagram at start-up,
// and it runs when its data source exists.
const char* runningText(bool running) { return running ? "true" : "false"; }

void listDiagrams(StoreOpener& stores, const CommandLine& line) {
    line.expectAtMost(1);
    ConfigStore& store = stores.existingStore();
    const std::vector<std::string> sources = storedSourceNames(store);
    for (const std::string& name : storedDiagramNames(store)) {
        const std::string source = storedDiagramSource(store, name);
        std::cout << name << '\t' << source << '\t' << runningText(containsExactly(sources, source))
                  << '\n';
    }
}

void printDefinition(const Diagram& diagram, bool running) {
    std::cout << "name\t" << diagram.name() << '\n';
    std::cout << "datasource\t" << diagram.dataSourceName() << '\n';
    std::cout << "running\t" << runningText(running) << '\n';
    for (const ItemDefinition& filter : diagram.items(kFilterKind)) {
        std::cout << "filter\t" << filter.name << "\tfield=" << filter.field
                  << "\tregexp=" << filter.regexp << "\tinv=" << filter.setting << '\n';
    }
    for (const ItemDefinition& group : diagram.items(kGroupKind)) {
        std::cout << "group\t" << group.name << "\tfield=" << group.field
                  << "\tregexp=" << group.regexp << '\n';
    }
    for (const ItemDefinition& axis : diagram.items(kAxisKind)) {
        std::cout << "axis\t" << axis.name << "\tfield=" << axis.field << "\tregexp=" << axis.regexp
                  << "\toper=" << operName(operFromCode(axis.setting)) << '\n';
    }
}

// One row per x label, one column per y-axis, as the charts get them; an axis whose stored
// list is shorter than the labels leaves its cells empty.
void printChart(const Diagram& diagram) {
    const ChartData chart = diagram.chartData();
    std::cout << 'x';
    for (const std::string& axis : diagram.itemNames(kAxisKind)) std::cout << '\t' << axis;
    std::cout << '\n';
    for (std::size_t x = 0; x < chart.xLabels.size(); ++x) {
        std::cout << chart.xLabels[x];
        for (const auto& series : chart.series) {
            std::cout << '\t' << (x < series.size() ? series[x] : std::string());
        }
        std::cout << '\n';
    }
}

void showDiagram(StoreOpener& stores, const CommandLine& line) {
    line.expectAtMost(2);
    const std::string format = line.option("--format").value_or("text");
    if (format != "text" && format != "json" && format != "csv") {
        throw UsageError("--format must be text, json or csv");
    }
    const std::string& name = line.positional(1, "NAME");
    ConfigStore& store = stores.existingStore();
    if (!containsExactly(storedDiagramNames(store), name)) throw CommandError("no diagram " + name);
    const bool running =
        containsExactly(storedSourceNames(store), storedDiagramSource(store, name));

    StoreSnapshot snapshot(store, {diagramKeyPath(name)});
    SourceManager noSources(snapshot.store());  // the copy holds no sources: nothing starts
    {
        Diagram diagram("Temp", snapshot.store(), noSources);
        diagram.loadDefinition(name);
        diagram.loadData();
        if (format == "json") {
            std::cout << diagramJson(diagramTableOf(diagram));
        } else if (format == "csv") {
            std::cout << diagramCsv(diagramTableOf(diagram));
        } else {
            printDefinition(diagram, running);
            std::cout << '\n';
            printChart(diagram);
        }
    }  // saves its data into the copy
}

}  // namespace

void runDiagramCommand(const std::vector<std::string>& words, StoreOpener& stores) {
    if (!words.empty() && (words[0] == "export" || words[0] == "import")) {
        runDiagramExchangeCommand(words, stores);
        return;
    }
    const CommandLine line(words, {"--format"}, {});
    const std::string& action =
        line.positional(0, "diagram command (list, show, rebuild, export, import)");
    if (action != "show" && line.option("--format")) {
        throw UsageError("--format belongs to diagram show");
    }
    if (action == "list") {
        listDiagrams(stores, line);
    } else if (action == "show") {
        showDiagram(stores, line);
    } else if (action == "rebuild") {
        rebuildDiagram(stores, line);
    } else {
        throw UsageError("unknown diagram command " + action);
    }
}

}  // namespace tg
