#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "config/config_key.h"
#include "datasource/list_text.h"
#include "datasource/source_manager.h"
#include "diagram/diagram.h"
#include "diagram/diagram_keys.h"
#include "support/temp_dir.h"

namespace tg {
namespace {

using Names = std::vector<std::string>;

class DiagramPersistenceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_store.isOpen()) << m_store.error(); }

    // The key at `path` (relative to the product key), opened only when it exists.
    ConfigKey existing(std::string_view path) {
        ConfigKey key(m_store);
        (void)key.openExisting(path);
        return key;
    }
    ConfigKey created(std::string_view path) {
        ConfigKey key(m_store);
        EXPECT_TRUE(key.open(path));
        return key;
    }
    ConfigKey axisKey(std::string_view diagram, std::string_view axis) {
        return created(itemKeyPath(diagram, kAxesFolder, axis));
    }
    // A stored diagram "d" on source "web" with one SUM axis "bytes" and the given data texts.
    void storeDiagramWithData(const std::string& xaxis, const std::string& strdata,
                              const std::string& data, const std::string& count) {
        ConfigKey diagram = created(diagramKeyPath("d"));
        diagram.setString("datasource", "web");
        diagram.setString("xaxis", xaxis);
        ConfigKey axis = axisKey("d", "bytes");
        axis.setString("datasource", "size");
        axis.setString("regexp", "");
        axis.setDword("oper", static_cast<std::uint32_t>(AxisOper::Sum));
        axis.setString("strdata", strdata);
        axis.setString("data", data);
        axis.setString("count", count);
    }

    // The x labels and the text slots of the first axis of "d", as loading gives them.
    std::pair<Names, Names> loadLists() {
        Diagram diagram("Temp", m_store, m_sources);
        diagram.loadDefinition("d");
        diagram.loadData();
        const DiagramData loaded = diagram.copyData();
        return std::make_pair(loaded.xLabels.strings(), loaded.axes.at(0).strdata.strings());
    }

    test::TempDir m_dir;
    ConfigStore m_store{m_dir.path() / "store.db"};
    SourceManager m_sources{m_store};
};

TEST_F(DiagramPersistenceTest, KeyWithOnlyDataSourceLoadsWithoutItemsAndGainsEmptyFolders) {
    created(diagramKeyPath("plain")).setString("datasource", "web");
    Diagram diagram("Temp", m_store, m_sources);
    diagram.loadDefinition("plain");
    diagram.loadData();
    EXPECT_EQ(diagram.name(), "plain");
    EXPECT_EQ(diagram.dataSourceName(), "web");
    for (const ItemKind* kind : kItemKinds) EXPECT_TRUE(diagram.itemNames(*kind).empty());
    const DiagramData data = diagram.copyData();
    EXPECT_TRUE(data.xLabels.empty());
    EXPECT_TRUE(data.axes.empty());

    ConfigKey key = existing(diagramKeyPath("plain"));
    EXPECT_EQ(key.subKeyNames(), (Names{"filters", "groups", "yaxises"}));
    EXPECT_EQ(key.valueNames(), (Names{"datasource", "xaxis"}));
    EXPECT_EQ(key.getString("xaxis"), "");
    for (std::string_view folder : {kFiltersFolder, kGroupsFolder, kAxesFolder}) {
        EXPECT_TRUE(existing(folderKeyPath("plain", folder)).subKeyNames().empty());
    }
}

TEST_F(DiagramPersistenceTest, MissingValuesLoadTheirDefaultsAndAreWrittenBack) {
    created(itemKeyPath("bare", kFiltersFolder, "f")).setString("regexp", "x");
    created(itemKeyPath("bare", kGroupsFolder, "g")).setString("regexp", "");
    created(itemKeyPath("bare", kAxesFolder, "a"));

    Diagram diagram("Temp", m_store, m_sources);
    diagram.loadDefinition("bare");
    EXPECT_EQ(diagram.dataSourceName(), "Unknown");
    EXPECT_EQ(existing(diagramKeyPath("bare")).getString("datasource"), "Unknown");

    ItemDefinition item{"", "", "", 7};
    ASSERT_EQ(diagram.getItem(kFilterKind, "f", item), 0);
    EXPECT_EQ(item.setting, 0u);
    EXPECT_EQ(item.field, "");
    EXPECT_EQ(item.regexp, "x");
    ConfigKey filterKey = existing(itemKeyPath("bare", kFiltersFolder, "f"));
    EXPECT_EQ(filterKey.valueNames(), (Names{"datasource", "inv", "regexp"}));
    EXPECT_EQ(filterKey.getDword("inv", 9), 0u);

    ASSERT_EQ(diagram.getItem(kGroupKind, "g", item), 0);
    EXPECT_EQ(item.regexp, ".*");
    item.setting = static_cast<std::uint32_t>(AxisOper::Last);
    ASSERT_EQ(diagram.getItem(kAxisKind, "a", item), 0);
    EXPECT_EQ(operFromCode(item.setting), AxisOper::Undefined);
    EXPECT_EQ(item.regexp, ".*");
    ConfigKey axis = existing(itemKeyPath("bare", kAxesFolder, "a"));
    EXPECT_EQ(axis.getDword("oper", 9), 0u);
    EXPECT_EQ(axis.getString("regexp"), "");  // the default as read, until the next save

    // Missing data values load empty and are written back as well.
    diagram.loadData();
    const DiagramData data = diagram.copyData();
    EXPECT_TRUE(data.xLabels.empty());
    ASSERT_EQ(data.axes.size(), 1u);
    EXPECT_TRUE(data.axes[0].data.empty());
    EXPECT_EQ(axis.valueNames(),
              (Names{"count", "data", "datasource", "oper", "regexp", "strdata"}));
    EXPECT_EQ(existing(diagramKeyPath("bare")).valueNames(), (Names{"datasource", "xaxis"}));

    diagram.saveDefinition();
    EXPECT_EQ(existing(itemKeyPath("bare", kGroupsFolder, "g")).getString("regexp"), ".*");
    EXPECT_EQ(axis.getString("regexp"), ".*");
}

TEST_F(DiagramPersistenceTest, DefinitionRoundTripsInTheStoresEnumerationOrder) {
    {
        Diagram original("a", m_store, m_sources);
        EXPECT_EQ(original.setDataSource("web"), 0);
        EXPECT_EQ(original.setFilter("beta", "status", "^5", 1), 1);
        EXPECT_EQ(original.setFilter("Alpha", "path", "", 0), 1);
        EXPECT_EQ(original.setGroup("host", "host", R"((\w+)\.)"), 1);
        EXPECT_EQ(original.setGroup("Date", "date", "^(.{10})"), 1);
        EXPECT_EQ(original.setAxis("zeta", "size", "(\\d+)", AxisOper::Sum), 1);
        EXPECT_EQ(original.setAxis("Bytes", "size", "", AxisOper::Last), 1);
        // Only saveDefinition writes what is stored now.
        Diagram::eraseStored(m_store, "a");
        original.saveDefinition();
        Diagram::eraseStored(m_store, "a");  // what the destructor's data save may add goes
        original.saveDefinition();
    }
    ConfigKey filterKey = existing(itemKeyPath("a", kFiltersFolder, "beta"));
    EXPECT_EQ(filterKey.valueNames(), (Names{"datasource", "inv", "regexp"}));
    EXPECT_EQ(filterKey.getDword("inv", 0), 1u);
    EXPECT_EQ(existing(itemKeyPath("a", kAxesFolder, "zeta")).getDword("oper", 0), 1u);

    Diagram loaded("Temp", m_store, m_sources);
    loaded.loadDefinition("a");
    EXPECT_EQ(loaded.dataSourceName(), "web");
    EXPECT_EQ(loaded.itemNames(kFilterKind), (Names{"Alpha", "beta"}));
    EXPECT_EQ(loaded.itemNames(kGroupKind), (Names{"Date", "host"}));
    EXPECT_EQ(loaded.itemNames(kAxisKind), (Names{"Bytes", "zeta"}));

    ItemDefinition item;
    ASSERT_EQ(loaded.getItem(kFilterKind, "beta", item), 0);
    EXPECT_EQ(item.field, "status");
    EXPECT_EQ(item.regexp, "^5");
    EXPECT_EQ(item.setting, 1u);
    ASSERT_EQ(loaded.getItem(kFilterKind, "Alpha", item), 0);
    EXPECT_EQ(item.regexp, ".*");
    EXPECT_EQ(item.setting, 0u);
    ASSERT_EQ(loaded.getItem(kGroupKind, "host", item), 0);
    EXPECT_EQ(item.field, "host");
    EXPECT_EQ(item.regexp, R"((\w+)\.)");
    ASSERT_EQ(loaded.getItem(kAxisKind, "Bytes", item), 0);
    EXPECT_EQ(item.field, "size");
    EXPECT_EQ(item.regexp, ".*");
    EXPECT_EQ(operFromCode(item.setting), AxisOper::Last);
    ASSERT_EQ(loaded.getItem(kAxisKind, "zeta", item), 0);
    EXPECT_EQ(operFromCode(item.setting), AxisOper::Sum);
}

TEST_F(DiagramPersistenceTest, ErasingRemovesExactlyTheNamedTree) {
    storeDiagramWithData("/a\t", "", "1,", "1,");
    axisKey("d", "other").setString("data", "2,");
    created(diagramKeyPath("dd")).setString("datasource", "web");
    {
        Diagram diagram("Temp", m_store, m_sources);
        diagram.loadDefinition("d");
        EXPECT_EQ(diagram.deleteItem(kAxisKind, "bytes"), 0);  // its stored data goes with its key
        EXPECT_EQ(existing(folderKeyPath("d", kAxesFolder)).subKeyNames(), (Names{"other"}));
    }
    Diagram::eraseStored(m_store, "D");  // key names compare without regard to case
    EXPECT_FALSE(existing(diagramKeyPath("d")).isOpen());
    EXPECT_EQ(existing(kDiagramsKey).subKeyNames(), (Names{"dd"}));

    // Names that address no key of their own erase nothing.
    Diagram::eraseStored(m_store, "");
    Diagram::eraseStored(m_store, "\\");
    Diagram::eraseStored(m_store, "missing");
    EXPECT_EQ(existing(kDiagramsKey).subKeyNames(), (Names{"dd"}));
}

TEST_F(DiagramPersistenceTest, AnEmptyNameNeverWritesOntoTheDiagramsKey) {
    created(kDiagramsKey);
    {
        Diagram diagram("", m_store, m_sources);
        EXPECT_EQ(diagram.setFilter("f", "path", "x"), 1);
        EXPECT_EQ(diagram.setAxis("a", "size", "", AxisOper::Sum), 1);
        diagram.saveDefinition();
        diagram.saveData();
        diagram.loadData();
        diagram.loadDefinition("");
        EXPECT_EQ(diagram.itemNames(kFilterKind), (Names{"f"}));
    }
    ConfigKey diagrams = existing(kDiagramsKey);
    EXPECT_TRUE(diagrams.subKeyNames().empty());
    EXPECT_TRUE(diagrams.valueNames().empty());
}

TEST_F(DiagramPersistenceTest, DataRoundTripsThroughItsStoredTexts) {
    storeDiagramWithData("/a\t/b\t", "x\ty\t", "1.23456789e+10,2.5,", "3,1,");
    {
        Diagram diagram("Temp", m_store, m_sources);
        diagram.loadDefinition("d");
        diagram.loadData();
        const DiagramData data = diagram.copyData();
        EXPECT_EQ(data.name, "d");
        EXPECT_EQ(data.xLabels, (Names{"/a", "/b"}));
        ASSERT_EQ(data.axes.size(), 1u);
        EXPECT_EQ(data.axes[0].strdata, (Names{"x", "y"}));
        EXPECT_EQ(data.axes[0].data, (std::vector<double>{12345678900.0, 2.5}));
        EXPECT_EQ(data.axes[0].count, (std::vector<std::uint32_t>{3, 1}));
        EXPECT_EQ(diagram.chartData().xLabels, (Names{"/a", "/b"}));
        diagram.processRecord({"10452925076"}, {"size"});  // a sum beyond ten digits
        diagram.saveData();
    }
    ConfigKey axis = axisKey("d", "bytes");
    EXPECT_EQ(existing(diagramKeyPath("d")).getString("xaxis"), "/a\t/b\t\t");
    EXPECT_EQ(axis.getString("strdata"), "x\ty\t10452925076\t");
    EXPECT_EQ(axis.getString("data"), "12345678900,2.5,10452925076,");
    EXPECT_EQ(axis.getString("count"), "3,1,1,");

    Diagram again("Temp", m_store, m_sources);
    again.loadDefinition("d");
    again.loadData();
    EXPECT_EQ(again.copyData().axes[0].data,
              (std::vector<double>{12345678900.0, 2.5, 10452925076.0}));
    EXPECT_EQ(again.chartData().series[0], (Names{"1.23456789e+10", "2.5", "1.045292508e+10"}));

    // A cleared diagram stores empty texts, not the old data.
    EXPECT_EQ(again.clearData(), 0);
    again.saveData();
    EXPECT_EQ(existing(diagramKeyPath("d")).getString("xaxis"), "");
    for (const char* value : {"strdata", "data", "count"}) {
        SCOPED_TRACE(value);
        EXPECT_EQ(axis.getString(value), "");
    }
}

TEST_F(DiagramPersistenceTest, AxesThatShowNoTextsStoreTheirNumbersAsTheirTexts) {
    const FieldNames fields{"path", "size"};
    {
        Diagram diagram("d", m_store, m_sources);
        diagram.setGroup("g", "path", "");
        diagram.setAxis("bytes", "size", "", AxisOper::Sum);
        diagram.setAxis("last", "size", "", AxisOper::Last);
        for (const Record& record : {Record{"/a", "100"}, Record{"/a", "200"}, Record{"/b", "5"}}) {
            diagram.processRecord(record, fields);
        }
        diagram.saveData();
    }
    // Every slot has a text that older readers take as before; LAST keeps the texts it shows.
    EXPECT_EQ(axisKey("d", "bytes").getString("strdata"), "300\t5\t");
    EXPECT_EQ(axisKey("d", "last").getString("strdata"), "200\t5\t");

    Diagram loaded("Temp", m_store, m_sources);
    loaded.loadDefinition("d");
    loaded.loadData();
    EXPECT_EQ(loaded.chartData().series, (std::vector<Names>{{"300", "5"}, {"200", "5"}}));
    // Texts that only repeat the numbers are not kept; they follow the numbers when written.
    EXPECT_TRUE(loaded.copyData().axes[0].strdata.empty());
    loaded.processRecord(Record{"/b", "1"}, fields);
    loaded.saveData();
    EXPECT_EQ(axisKey("d", "bytes").getString("strdata"), "300\t6\t");
    EXPECT_EQ(axisKey("d", "last").getString("strdata"), "200\t1\t");
}

TEST_F(DiagramPersistenceTest, ATextHoldingTheSeparatorComesBackWholeAndOlderTextsStillLoad) {
    // Texts stored before separators were escaped: backslashes are plain characters.
    storeDiagramWithData("/C:\\dir\\\t/\\\\srv\t", "\t\\s\t", "1,2,", "1,1,");
    EXPECT_EQ(loadLists(), std::make_pair(Names{"/C:\\dir\\", "/\\\\srv"}, Names{"", "\\s"}));

    const DiagramData data{"d",
                           {"/a\tb", "/c\\s", "/"},
                           {AxisData{"bytes", {1, 2, 3}, {"", "p\tq\\", "\t"}, {1, 1, 1}}}};
    writeDiagramData(m_store, data);
    EXPECT_EQ(existing(diagramKeyPath("d")).getString("xaxis"), "/a\\sb\t/c\\\\s\t/\t\\");
    EXPECT_EQ(loadLists(), std::make_pair(data.xLabels.strings(), data.axes[0].strdata.strings()));
    // Lists that need no escaping are stored as they always were.
    writeDiagramData(m_store, DiagramData{"d", {"/a", "/b\\"}, {AxisData{"bytes", {}, {}, {}}}});
    EXPECT_EQ(existing(diagramKeyPath("d")).getString("xaxis"), "/a\t/b\\\t");
}

TEST_F(DiagramPersistenceTest, ListsFollowTheStoresOwnSeparator) {
    created("").setDword("Separator", '|');
    storeDiagramWithData("", "", "", "");
    writeDiagramData(m_store,
                     DiagramData{"d", {"/a", "/b"}, {AxisData{"bytes", {}, {"x", "y|z"}, {}}}});
    EXPECT_EQ(existing(diagramKeyPath("d")).getString("xaxis"), "/a|/b|");
    EXPECT_EQ(axisKey("d", "bytes").getString("strdata"), "x|y\\sz|\\");
    EXPECT_EQ(loadLists(), std::make_pair(Names{"/a", "/b"}, Names{"x", "y|z"}));
}

TEST_F(DiagramPersistenceTest, HundredThousandLabelsRoundTripWhole) {
    constexpr std::size_t kLabels = 100000;
    DiagramData data{"d", {}, {AxisData{"bytes", {}, {}, {}}}};
    for (std::size_t i = 0; i < kLabels; ++i) {
        data.xLabels.push_back("/path/" + std::to_string(i));
        data.axes[0].strdata.push_back("text " + std::to_string(i));
        data.axes[0].data.push_back(static_cast<double>(i) + 0.5);
        data.axes[0].count.push_back(static_cast<std::uint32_t>(i));
    }
    storeDiagramWithData("", "", "", "");
    writeDiagramData(m_store, data);
    {
        Diagram diagram("Temp", m_store, m_sources);
        diagram.loadDefinition("d");
        diagram.loadData();
        const DiagramData loaded = diagram.copyData();
        EXPECT_EQ(loaded.xLabels, data.xLabels);
        ASSERT_EQ(loaded.axes.size(), 1u);
        EXPECT_EQ(loaded.axes[0].strdata, data.axes[0].strdata);
        EXPECT_EQ(loaded.axes[0].data, data.axes[0].data);
        EXPECT_EQ(loaded.axes[0].count, data.axes[0].count);
        // The destructor saves it again; the texts must stay whole.
    }
    EXPECT_EQ(existing(diagramKeyPath("d")).getString("xaxis"),
              joinList(data.xLabels.strings(), '\t'));
    EXPECT_EQ(axisKey("d", "bytes").getString("count"), joinCounts(data.axes[0].count));
}

}  // namespace
}  // namespace tg
