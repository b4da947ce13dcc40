#pragma once
// The diagrams' part of the metrics: per diagram, y-axis and x label the slot's value and its
// record count. A diagram grouped by something like client addresses may have millions of
// labels, more than a metrics server takes: each diagram exports at most `maxLabels` of them,
// the busiest (most records) first, and says how many it left out. The diagram keeps all.
// Works on copies taken from the diagrams; no diagram lock is held here. Any thread.

#include <cstddef>
#include <string>
#include <vector>

#include "diagram/axis_oper.h"
#include "diagram/diagram_data.h"
#include "metrics/exposition_writer.h"

namespace tg {

class DiagramManager;

// One diagram's data with the operation of each axis (Undefined when the axis went meanwhile).
struct DiagramSnapshot {
    DiagramData data;
    std::vector<AxisOper> opers;  // parallel to data.axes
};

// Copies every diagram's data, taking each diagram's lock only for the copy.
std::vector<DiagramSnapshot> snapshotDiagrams(DiagramManager& diagrams);

// The positions of the labels to export, ascending: all of them when there are at most
// `maxLabels`, else the `maxLabels` with the most records on all axes together (the earlier
// of equal ones). A label that is written (as UTF-8) like an earlier exported one is left out:
// the diagram counts into the first of equal labels only, and a series must not come twice.
std::vector<std::size_t> exportedLabels(const DiagramData& data, std::size_t maxLabels);

// The value of one slot as the chart shows it (an average divided by its count, a first or
// last value text read as a number); false when the axis accumulates nothing.
bool slotValue(const AxisData& axis, AxisOper oper, std::size_t x, double& value);

// Writes the families tessellgrove_diagram_value, _records, _labels and _labels_dropped.
void writeDiagramFamilies(ExpositionWriter& writer, const std::vector<DiagramSnapshot>& diagrams,
                          std::size_t maxLabels);

}  // namespace tg
