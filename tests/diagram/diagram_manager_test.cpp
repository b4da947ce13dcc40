#include "diagram/diagram_manager.h"

#include <gtest/gtest.h>

#include "config/config_key.h"
#include "diagram_fixture.h"

namespace tg {
namespace {

using Texts = std::vector<std::string>;

class DiagramManagerTest : public test::DiagramFixture {
protected:
    void storeValue(const std::string& path, const std::string& name, const std::string& text) {
        ConfigKey key(m_store);
        (void)key.open("SOFTWARE\\kestroware\\Tessellgrove\\2.0\\diagrams\\" + path, "");
        key.setString(name, text);
    }
};

TEST_F(DiagramManagerTest, LoadsStoredDiagramsWithTheirDataAndStartsThem) {
    storeValue("status", "datasource", "web");
    storeValue("status", "xaxis", "/200\t/404\t");
    storeValue("status\\groups\\code", "datasource", "status");
    storeValue("status\\yaxises\\bytes", "datasource", "bytes");
    storeValue("status\\yaxises\\bytes", "data", "125,50,");
    storeValue("status\\yaxises\\bytes", "count", "2,1,");
    storeValue("status\\yaxises\\bytes", "strdata", "25\t50\t");
    ConfigKey axis(m_store);
    (void)axis.open("\\diagrams\\status\\yaxises\\bytes");
    axis.setDword("oper", 1);

    DiagramManager manager(m_store, m_sources);
    EXPECT_EQ(manager.names(), (Texts{"status"}));
    DiagramHandle diagram = manager.acquire("status");
    ASSERT_TRUE(diagram);
    EXPECT_TRUE(diagram->isRunning());
    const ChartData chart = diagram->chartData();
    EXPECT_EQ(chart.xLabels, (Texts{"/200", "/404"}));
    EXPECT_EQ(chart.series, (std::vector<Texts>{{"125", "50"}}));
    // A new record finds its stored label.
    diagram->processRecord({"404", "5", ""}, m_names);
    EXPECT_EQ(diagram->chartData().series[0], (Texts{"125", "55"}));
}

TEST_F(DiagramManagerTest, CreateRefusesATakenNameAndRemoveWaitsForHandlesThenErases) {
    DiagramManager manager(m_store, m_sources);
    ASSERT_EQ(manager.create("d"), 0);
    EXPECT_EQ(manager.create("d"), 1);
    EXPECT_FALSE(manager.acquire("D"));
    DiagramHandle handle = manager.acquire("d");
    (void)handle->setDataSource("web");
    handle->saveDefinition();
    EXPECT_EQ(manager.remove("d"), 1);
    EXPECT_EQ(manager.names(), (Texts{"d"}));
    manager.release(handle);
    EXPECT_EQ(manager.remove("d"), 0);
    EXPECT_TRUE(manager.names().empty());
    EXPECT_FALSE(stored("d"));  // not even brought back by the data saved on the way out
    EXPECT_EQ(m_sources.acquire("web")->listenerCount(), 0u);
    EXPECT_EQ(manager.remove("d"), 1);
}

TEST_F(DiagramManagerTest, EndOfTheManagerSavesEveryDiagramsData) {
    {
        DiagramManager manager(m_store, m_sources);
        ASSERT_EQ(manager.create("d"), 0);
        DiagramHandle diagram = manager.acquire("d");
        (void)diagram->setDataSource("web");
        diagram->setAxis("n", "bytes", "", AxisOper::Count);
        diagram->saveDefinition();
        diagram->processRecord({"200", "1", ""}, m_names);
    }
    DiagramManager again(m_store, m_sources);
    EXPECT_EQ(again.acquire("d")->chartData().series, (std::vector<Texts>{{"1"}}));
}

}  // namespace
}  // namespace tg
