#include "diagram/diagram.h"

#include <gtest/gtest.h>

#include <fstream>

#include "config/config_key.h"
#include "diagram/diagram_keys.h"
#include "diagram_fixture.h"
#include "support/recording_listener.h"

namespace tg {
namespace {

using Texts = std::vector<std::string>;

using DiagramTest = test::DiagramFixture;

TEST_F(DiagramTest, SettingAnItemCreatesOrChangesItAndClearsTheData) {
    Diagram diagram("d", m_store, m_sources);
    EXPECT_EQ(diagram.setAxis("n", "bytes", "", AxisOper::Sum), 1);
    feed(diagram, {"200", "1", ""});
    EXPECT_EQ(diagram.setFilter("f", "status", "^2", 0), 1);
    EXPECT_TRUE(diagram.chartData().xLabels.empty());
    feed(diagram, {"200", "1", ""});
    EXPECT_EQ(diagram.setFilter("f", std::nullopt, "^4", Diagram::kKeepInvert), 0);
    EXPECT_TRUE(diagram.chartData().xLabels.empty());
    ItemDefinition item{"", "", "", 9};
    ASSERT_EQ(diagram.getItem(kFilterKind, "f", item), 0);
    EXPECT_EQ(item.field + " " + item.regexp + " " + std::to_string(item.setting), "status ^4 0");
    EXPECT_EQ(diagram.itemNames(kFilterKind), (Texts{"f"}));
    EXPECT_TRUE(stored("d\\filters\\f"));
    EXPECT_EQ(diagram.getItem(kFilterKind, "nope", item), 1);

    // A change that gives nothing keeps the axis as it was, yet clears the data.
    EXPECT_EQ(diagram.deleteItem(kFilterKind, "f"), 0);
    feed(diagram, {"200", "7", ""});
    EXPECT_EQ(diagram.setAxis("n", std::nullopt, std::nullopt), 0);
    ASSERT_EQ(diagram.getItem(kAxisKind, "n", item), 0);
    EXPECT_EQ(operFromCode(item.setting), AxisOper::Sum);
    EXPECT_TRUE(diagram.chartData().xLabels.empty());

    // An empty group expression takes the whole field.
    diagram.setGroup("g", "text", "");
    ASSERT_EQ(diagram.getItem(kGroupKind, "g", item), 0);
    EXPECT_EQ(item.regexp, ".*");
    feed(diagram, {"200", "1", "whole text"});
    EXPECT_EQ(diagram.chartData().xLabels, (Texts{"/whole text"}));
}

TEST_F(DiagramTest, ACopyFilledLaterHoldsTheDataOfThatMomentWhateverRoomWasMade) {
    Diagram diagram("d", m_store, m_sources);
    diagram.setGroup("g", "bytes", "");
    diagram.setAxis("n", "bytes", "", AxisOper::Sum);
    diagram.setAxis("t", "status", "", AxisOper::First);
    feed(diagram, {"200", "1", ""});
    DiagramData small = diagram.roomForCopy();  // room for one label
    for (int i = 0; i < 1000; ++i) {
        feed(diagram, {"text " + std::to_string(i), std::to_string(i), ""});
    }
    diagram.copyInto(small);
    const DiagramData whole = diagram.copyData();
    EXPECT_EQ(whole.xLabels.size(), 1000u);
    EXPECT_EQ(small.xLabels, whole.xLabels);
    ASSERT_EQ(small.axes.size(), 2u);
    for (std::size_t a = 0; a < 2; ++a) {
        EXPECT_EQ(small.axes[a].name, whole.axes[a].name);
        EXPECT_EQ(small.axes[a].data, whole.axes[a].data);
        EXPECT_EQ(small.axes[a].strdata, whole.axes[a].strdata);
        EXPECT_EQ(small.axes[a].count, whole.axes[a].count);
    }
    EXPECT_EQ(small.axes[1].strdata[999], "text 999");

    DiagramData large = diagram.roomForCopy();
    EXPECT_EQ(diagram.deleteItem(kAxisKind, "t"), 0);  // clears the data too
    feed(diagram, {"200", "7", ""});
    diagram.copyInto(large);
    EXPECT_EQ(large.xLabels, (Texts{"/7"}));
    ASSERT_EQ(large.axes.size(), 1u);
    EXPECT_EQ(large.axes[0].data, (std::vector<double>{7}));
    EXPECT_TRUE(large.axes[0].strdata.empty());
}

// Items of every kind share one name here: each kind's operations must reach only its own
// items and its own folder of the store.
TEST_F(DiagramTest, DeletingAndRenamingItemsFollowsInTheStore) {
    Diagram diagram("d", m_store, m_sources);
    const auto regexpOf = [](const ItemKind& kind) { return "2|" + std::string(kind.word); };
    // 7: a filter lets every record with the field pass; an axis keeps the LAST value.
    for (const ItemKind* kind : kItemKinds) {
        EXPECT_EQ(diagram.setItem(*kind, "x", {"status", regexpOf(*kind), 7}), 1);
    }
    for (const ItemKind* kind : kItemKinds) {
        SCOPED_TRACE(kind->word);
        ItemDefinition item;
        ASSERT_EQ(diagram.getItem(*kind, "x", item), 0);
        EXPECT_EQ(item.regexp, regexpOf(*kind));
        EXPECT_EQ(item.setting, kind->setting == ItemSetting::None ? 0u : 7u);
        ConfigKey key(m_store);
        ASSERT_TRUE(key.openExisting(itemKeyPath("d", kind->folder, "x")));
        EXPECT_EQ(key.getString("regexp"), regexpOf(*kind));
    }
    feed(diagram, {"200", "7", ""});

    for (const ItemKind* kind : kItemKinds) {
        SCOPED_TRACE(kind->word);
        EXPECT_EQ(diagram.renameItem(*kind, "x", "y"), 0);
        EXPECT_FALSE(stored("d\\" + std::string(kind->folder) + "\\x"));
        EXPECT_TRUE(stored("d\\" + std::string(kind->folder) + "\\y"));
        EXPECT_EQ(diagram.renameItem(*kind, "missing", "z"), 1);
        EXPECT_EQ(diagram.itemNames(*kind), (Texts{"y"}));
    }
    EXPECT_EQ(diagram.chartData().series[0], (Texts{"2"}));  // a rename keeps the data in memory
    for (const ItemKind* kind : kItemKinds) {
        SCOPED_TRACE(kind->word);
        EXPECT_EQ(diagram.deleteItem(*kind, "y"), 0);
        EXPECT_EQ(diagram.deleteItem(*kind, "y"), 1);
        EXPECT_FALSE(stored("d\\" + std::string(kind->folder) + "\\y"));
        EXPECT_TRUE(diagram.items(*kind).empty());
    }
    EXPECT_TRUE(diagram.chartData().xLabels.empty());
}

TEST_F(DiagramTest, RunningFollowsTheDataSource) {
    Diagram diagram("d", m_store, m_sources);
    EXPECT_EQ(diagram.start(), 1);  // no source of that name
    EXPECT_EQ(diagram.stop(), 1);
    EXPECT_EQ(diagram.setDataSource("web"), 0);
    EXPECT_TRUE(diagram.isRunning());
    EXPECT_TRUE(m_sources.acquire("web")->hasListener(diagram));
    EXPECT_EQ(diagram.start(), 1);  // already attached
    EXPECT_EQ(diagram.fieldNames(), m_names);

    diagram.setAxis("n", "bytes", "", AxisOper::Count);
    feed(diagram, {"200", "1", ""});
    EXPECT_EQ(diagram.stop(), 0);
    EXPECT_FALSE(diagram.isRunning());
    EXPECT_FALSE(m_sources.acquire("web")->hasListener(diagram));

    // A stopped diagram keeps its data on a change of source and runs when the source exists.
    (void)m_sources.create("other");
    (void)diagram.setDataSource("other");
    EXPECT_TRUE(diagram.isRunning());
    EXPECT_EQ(diagram.chartData().series[0], (Texts{"1"}));
    // A running one is stopped and cleared first.
    (void)diagram.setDataSource("missing");
    EXPECT_FALSE(diagram.isRunning());
    EXPECT_TRUE(diagram.chartData().xLabels.empty());
    EXPECT_TRUE(diagram.fieldNames().empty());
}

TEST_F(DiagramTest, ItemsFindTheirFieldsAgainAfterTheFieldOrderChanges) {
    Diagram diagram("d", m_store, m_sources);
    diagram.setFilter("f", "text", "ok");
    diagram.setGroup("g", "status", "");
    diagram.setAxis("a", "bytes", "", AxisOper::Sum);
    (void)diagram.setDataSource("web");
    feed(diagram, {"200", "7", "ok"});
    EXPECT_EQ(diagram.chartData().xLabels, (Texts{"/200"}));

    // Another source whose fields come in another order.
    const FieldNames swapped{"text", "bytes", "status"};
    (void)m_sources.create("other");
    m_sources.acquire("other")->setFields(swapped);
    (void)diagram.setDataSource("other");
    diagram.processRecord({"ok", "5", "404"}, swapped);
    // The same source after its fields were renamed and reordered.
    const FieldNames renamed{"status", "size", "bytes", "text"};
    diagram.processRecord({"500", "999", "3", "ok"}, renamed);
    const ChartData chart = diagram.chartData();
    EXPECT_EQ(chart.xLabels, (Texts{"/404", "/500"}));
    EXPECT_EQ(chart.series[0], (Texts{"5", "3"}));
    (void)diagram.stop();
}

TEST_F(DiagramTest, RecordsFromAFileSourceReachTheChartAndRebuildReplaysThem) {
    // The duplicate log's separator inside a value must not cost the record on a rebuild.
    const std::string log = m_dir.file("app.log");
    std::ofstream(log) << "200\t 10\n404 1\n200\t 5\n";
    Diagram diagram("d", m_store, m_sources);
    followLog(log, diagram, "^([0-9]+\t?) ([0-9]+)$");
    test::RecordingListener after;  // delivered after the diagram, in list order
    m_sources.acquire("web")->attach(after);
    ASSERT_TRUE(after.waitForProcessed(3));
    const ChartData chart = diagram.chartData();
    EXPECT_EQ(chart.xLabels, (Texts{"/200\t", "/404"}));
    EXPECT_EQ(chart.series[0], (Texts{"15", "1"}));
    m_sources.acquire("web")->detach(after);

    diagram.clearData();
    EXPECT_EQ(diagram.rebuild(0), 1);
    EXPECT_EQ(diagram.chartData().xLabels, chart.xLabels);
    EXPECT_EQ(diagram.chartData().series, chart.series);
    (void)diagram.stop();
}

TEST_F(DiagramTest, RenameMovesTheDefinitionAndLeavesTheDataForLater) {
    Diagram diagram("a", m_store, m_sources);
    diagram.setAxis("n", "bytes", "", AxisOper::Count);
    diagram.saveDefinition();
    diagram.saveData();
    EXPECT_EQ(diagram.rename("b"), 0);
    EXPECT_FALSE(stored("a"));
    ConfigKey renamed(m_store);
    ASSERT_TRUE(renamed.openExisting("\\diagrams\\b"));
    EXPECT_EQ(renamed.valueNames(), (Texts{"datasource"}));  // no data until it ends
}

}  // namespace
}  // namespace tg
