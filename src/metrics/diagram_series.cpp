#include "metrics/diagram_series.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <unordered_set>

#include "diagram/aggregation.h"
#include "diagram/diagram_manager.h"
#include "metrics/utf8_text.h"

namespace tg {
namespace {

struct Exported {
    const DiagramSnapshot* diagram;
    std::vector<std::size_t> labels;
};

}  // namespace

std::vector<DiagramSnapshot> snapshotDiagrams(DiagramManager& diagrams) {
    std::vector<DiagramSnapshot> snapshots;
    for (const std::string& name : diagrams.names()) {
        const DiagramHandle diagram = diagrams.acquire(name);
        if (!diagram) continue;  // removed meanwhile
        DiagramSnapshot snapshot{diagram->copyData(false), {}};
        snapshot.opers.reserve(snapshot.data.axes.size());
        for (const AxisData& axis : snapshot.data.axes) {
            ItemDefinition definition;
            snapshot.opers.push_back(diagram->getItem(kAxisKind, axis.name, definition) == 0
                                         ? operFromCode(definition.setting)
                                         : AxisOper::Undefined);
        }
        snapshots.push_back(std::move(snapshot));
    }
    return snapshots;
}

std::vector<std::size_t> exportedLabels(const DiagramData& data, std::size_t maxLabels) {
    std::vector<std::size_t> chosen = busiestLabels(data, maxLabels);
    // Compared as written: a Windows-1252 label and its UTF-8 twin are one series.
    std::unordered_set<std::string> seen;
    seen.reserve(chosen.size());
    std::erase_if(chosen,
                  [&](std::size_t x) { return !seen.insert(toUtf8(data.xLabels[x])).second; });
    return chosen;
}

bool slotValue(const AxisData& axis, AxisOper oper, std::size_t x, double& value) {
    switch (oper) {
        case AxisOper::Undefined:
            return false;
        case AxisOper::First:
        case AxisOper::Last:
            if (x >= axis.strdata.size()) return false;
            value = parseAxisNumber(axis.strdata[x]);
            return true;
        case AxisOper::Average:
            if (x >= axis.data.size() || x >= axis.count.size() || axis.count[x] == 0) return false;
            value = axis.data[x] / axis.count[x];
            return true;
        default:
            if (x >= axis.data.size()) return false;
            value = axis.data[x];
            return true;
    }
}

void writeDiagramFamilies(ExpositionWriter& writer, const std::vector<DiagramSnapshot>& diagrams,
                          std::size_t maxLabels) {
    std::vector<Exported> exported;
    exported.reserve(diagrams.size());
    for (const DiagramSnapshot& diagram : diagrams) {
        exported.push_back({&diagram, exportedLabels(diagram.data, maxLabels)});
    }
    writer.family("tessellgrove_diagram_value", ExpositionWriter::Type::Gauge,
                  "Value of a diagram's slot: one per y-axis and x label.");
    for (const Exported& item : exported) {
        const DiagramData& data = item.diagram->data;
        for (std::size_t a = 0; a < data.axes.size(); ++a) {
            const AxisData& axis = data.axes[a];
            const AxisOper oper = item.diagram->opers[a];
            const std::string_view operation = operName(oper);
            for (const std::size_t x : item.labels) {
                double value = 0;
                if (!slotValue(axis, oper, x, value)) continue;
                writer.sample({{"diagram", data.name},
                               {"axis", axis.name},
                               {"operation", operation},
                               {"label", data.xLabels[x]}},
                              value);
            }
        }
    }
    writer.family("tessellgrove_diagram_records", ExpositionWriter::Type::Gauge,
                  "Records counted into a diagram's slot: one per y-axis and x label.");
    for (const Exported& item : exported) {
        const DiagramData& data = item.diagram->data;
        for (const AxisData& axis : data.axes) {
            for (const std::size_t x : item.labels) {
                if (x >= axis.count.size()) continue;
                writer.sample(
                    {{"diagram", data.name}, {"axis", axis.name}, {"label", data.xLabels[x]}},
                    std::uint64_t{axis.count[x]});
            }
        }
    }
    writer.family("tessellgrove_diagram_labels", ExpositionWriter::Type::Gauge,
                  "X labels a diagram holds.");
    for (const Exported& item : exported) {
        writer.sample({{"diagram", item.diagram->data.name}},
                      std::uint64_t{item.diagram->data.xLabels.size()});
    }
    writer.family("tessellgrove_diagram_labels_dropped", ExpositionWriter::Type::Gauge,
                  "X labels of a diagram left out of these metrics by MetricsMaxLabels.");
    for (const Exported& item : exported) {
        writer.sample({{"diagram", item.diagram->data.name}},
                      std::uint64_t{item.diagram->data.xLabels.size() - item.labels.size()});
    }
}

}  // namespace tg
