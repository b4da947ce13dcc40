#include "metrics/diagram_series.h"

#include <gtest/gtest.h>

namespace tg {
namespace {

// Labels a..e with 1, 5, 5, 2 and 0 records; "bytes" sums, "mean" averages.
DiagramSnapshot fiveLabels() {
    DiagramSnapshot snapshot;
    snapshot.data.name = "by ip";
    snapshot.data.xLabels = {"a", "b", "c", "d", "e"};
    snapshot.data.axes.push_back({"bytes", {10, 50, 40, 7, 0}, {}, {1, 5, 5, 2, 0}});
    snapshot.data.axes.push_back({"mean", {10, 50, 40, 7}, {}, {1, 5, 5, 2}});
    snapshot.opers = {AxisOper::Sum, AxisOper::Average};
    return snapshot;
}

TEST(DiagramSeriesTest, TheCapKeepsTheBusiestLabelsInOrderAndCountsTheRest) {
    const DiagramSnapshot snapshot = fiveLabels();
    EXPECT_EQ(exportedLabels(snapshot.data, 3), (std::vector<std::size_t>{1, 2, 3}));
    EXPECT_EQ(exportedLabels(snapshot.data, 1), (std::vector<std::size_t>{1}));  // the earlier tie
    EXPECT_EQ(exportedLabels(snapshot.data, 5).size(), 5u);
    DiagramData twice = snapshot.data;
    // The diagram counts into the first of equal labels; a Windows-1252 "é" is written as the
    // UTF-8 one.
    twice.xLabels = {"a", "\xE9", "a", "c", "\xC3\xA9"};
    EXPECT_EQ(exportedLabels(twice, 10), (std::vector<std::size_t>{0, 1, 3}));

    ExpositionWriter writer(ExpositionFormat::Text);
    writeDiagramFamilies(writer, {snapshot}, 2);
    const std::string text = writer.finish();
    const auto lines = [&](std::string_view family) {
        std::string found;
        for (std::size_t at = text.find('\n' + std::string(family) + '{'); at != std::string::npos;
             at = text.find('\n' + std::string(family) + '{', at + 1)) {
            found += text.substr(at + 1, text.find('\n', at + 1) - at);
        }
        return found;
    };
    EXPECT_EQ(lines("tessellgrove_diagram_value"),
              "tessellgrove_diagram_value{diagram=\"by ip\",axis=\"bytes\",operation=\"SUM\","
              "label=\"b\"} 50\n"
              "tessellgrove_diagram_value{diagram=\"by ip\",axis=\"bytes\",operation=\"SUM\","
              "label=\"c\"} 40\n"
              "tessellgrove_diagram_value{diagram=\"by ip\",axis=\"mean\",operation=\"AVERAGE\","
              "label=\"b\"} 10\n"
              "tessellgrove_diagram_value{diagram=\"by ip\",axis=\"mean\",operation=\"AVERAGE\","
              "label=\"c\"} 8\n");
    EXPECT_EQ(lines("tessellgrove_diagram_records"),
              "tessellgrove_diagram_records{diagram=\"by ip\",axis=\"bytes\",label=\"b\"} 5\n"
              "tessellgrove_diagram_records{diagram=\"by ip\",axis=\"bytes\",label=\"c\"} 5\n"
              "tessellgrove_diagram_records{diagram=\"by ip\",axis=\"mean\",label=\"b\"} 5\n"
              "tessellgrove_diagram_records{diagram=\"by ip\",axis=\"mean\",label=\"c\"} 5\n");
    EXPECT_EQ(lines("tessellgrove_diagram_labels"),
              "tessellgrove_diagram_labels{diagram=\"by ip\"} 5\n");
    EXPECT_EQ(lines("tessellgrove_diagram_labels_dropped"),
              "tessellgrove_diagram_labels_dropped{diagram=\"by ip\"} 3\n");
}

TEST(DiagramSeriesTest, SlotValuesFollowTheOperationAndSkipMissingSlots) {
    const AxisData axis{"v", {12, 7}, {"12abc", ""}, {4, 0}};
    const auto value = [&](AxisOper oper, std::size_t x) {
        double result = -1;
        return slotValue(axis, oper, x, result) ? result : -1;
    };
    EXPECT_EQ(value(AxisOper::Sum, 0), 12);
    EXPECT_EQ(value(AxisOper::Average, 0), 3);
    EXPECT_EQ(value(AxisOper::Average, 1), -1);  // no records: no average
    EXPECT_EQ(value(AxisOper::First, 0), 12);    // the text's leading number
    EXPECT_EQ(value(AxisOper::Last, 1), 0);
    EXPECT_EQ(value(AxisOper::Undefined, 0), -1);
    EXPECT_EQ(value(AxisOper::Max, 2), -1);  // a list shorter than the labels
}

}  // namespace
}  // namespace tg
