#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "page_fixture.h"
#include "support/recording_listener.h"
#include "web/chart_script.h"

namespace tg {
namespace {

constexpr const char* kScriptStart =
    "<SCRIPT LANGUAGE=\"Javascript\" type=\"text/jscript\" >\n<!--\nvar arr=new Array();\n";
constexpr const char* kScriptEnd = "-->\n</SCRIPT>\n";

const std::string kWorkedExample = std::string(kScriptStart) +
                                   "var arr0 = new Array();\n"
                                   "arr0[0] = 5;\n"
                                   "arr0[1] = 0;\n"
                                   "arr[0] = arr0;\n"
                                   "var arrname=new Array(\"/a\", \"/b\");\n"
                                   "var labelarr=new Array(\"hits\");\n" +
                                   kScriptEnd;

const std::string kSubstitute = std::string(kScriptStart) +
                                "var arr0 = new Array();\n"
                                "arr0[0] = 1;\n"
                                "arr0[1] = 1;\n"
                                "arr[0] = arr0;\n"
                                "var arr1 = new Array();\n"
                                "arr1[0] = 1;\n"
                                "arr1[1] = 1;\n"
                                "arr[1] = arr1;\n"
                                "var arrname=new Array(\"No data\", \"No data\");\n"
                                "var labelarr=new Array(\"No data\", \"No data\");\n" +
                                kScriptEnd;

class ChartPageTest : public test::PageFixture {
protected:
    ChartPageTest() { writeTemplate("show", "<*DATA*>ignored</*DATA*>"); }

    // The worked example's diagram: the last bytes text by status.
    DiagramHandle hitsDiagram() {
        DiagramHandle diagram = addDiagram("d");
        diagram->setGroup("status", "status", "");
        diagram->setAxis("hits", "bytes", "", AxisOper::Last);
        return diagram;
    }
};

TEST_F(ChartPageTest, OptionsFollowTheRequest) {
    addDiagram("Web log 1");
    writeTemplate("show",
                  "*DIAGRAMNAME*|*DIAGRAMNAMEESCAPED*|*3D_VIEW*|*SHOW_LEGEND*|*SWAP_XY*|*EDIT*");
    const std::string name = "name=Web+log+1";
    EXPECT_EQ(run("show", name), "Web log 1|Web%20log%20%31|checked|checked||");
    EXPECT_EQ(run("show", name + "&3d_view=0&EDIT=1"), "Web log 1|Web%20log%20%31||checked||1");
    EXPECT_EQ(run("show", name + "&3d_view=1&show_legend=&swap_xy=1"),
              "Web log 1|Web%20log%20%31|checked||checked|");
    EXPECT_EQ(run("show", name + "&swap_xy=true"), "Web log 1|Web%20log%20%31|checked|checked||");
    EXPECT_EQ(run("show", "name=web+log+1"),
              "ERROR[Can&#39;t find diagram &#39;web log 1&#39;][index.html]");
    EXPECT_EQ(run("show"), "ERROR[Can&#39;t find diagram &#39;&#39;][index.html]");
}

TEST_F(ChartPageTest, ScriptShowsARunningDiagramAndTheSubstituteOtherwise) {
    DiagramHandle diagram = hitsDiagram();
    EXPECT_EQ(run("show", "name=d"), kSubstitute);  // no values yet
    feed(*diagram, {"a", "5"});
    feed(*diagram, {"b", ""});
    EXPECT_EQ(run("show", "name=d"), kWorkedExample);
    EXPECT_EQ(run("show", "name=d", "<*DATA*></*DATA*>-<*MYDATA*>x</*MYDATA*>"),
              kWorkedExample + "-" + kWorkedExample);
    EXPECT_EQ(run("show", "name=d", "no data block"), "no data block");
    // A stopped diagram keeps its data but shows the substitute.
    (void)diagram->stop();
    EXPECT_EQ(run("show", "name=d", "<*DATA*></*DATA*>"), kSubstitute);
}

TEST_F(ChartPageTest, MoreLabelsThanAChartDrawsShowTheBusiestInOrderWithANote) {
    DiagramHandle diagram = addDiagram("d");
    diagram->setGroup("status", "status", "");
    diagram->setAxis("hits", "bytes", "", AxisOper::Count);
    // Label i gets one record, and every 7th one a second: the busiest are those, then the
    // earliest of the rest.
    const std::size_t labels = kChartMaxLabels + 2000;
    for (std::size_t i = 0; i < labels; ++i) {
        for (int r = 0; r < (i % 7 == 0 ? 2 : 1); ++r) feed(*diagram, {std::to_string(i), "1"});
    }
    const ChartView chart = chartViewOf(m_diagrams, "d", kChartMaxLabels);
    EXPECT_EQ(chart.totalLabels, labels);
    ASSERT_EQ(chart.labels.size(), kChartMaxLabels);
    ASSERT_EQ(chart.series.size(), 1u);
    ASSERT_EQ(chart.series[0].size(), kChartMaxLabels);
    const std::size_t busy = (labels + 6) / 7;  // labels 0, 7, 14, ...
    std::size_t quiet = 0;                      // the next label that is not a busy one
    for (std::size_t shown = 0, i = 0; shown < kChartMaxLabels; ++i) {
        const bool wanted = i % 7 == 0 || quiet++ < kChartMaxLabels - busy;
        if (!wanted) continue;
        ASSERT_EQ(chart.labels[shown], "/" + std::to_string(i)) << shown;
        EXPECT_EQ(chart.series[0][shown], i % 7 == 0 ? "2" : "1");
        ++shown;
    }
    const std::string page = run("show", "name=d");
    EXPECT_NE(page.find("var chartnote=\"The chart shows the 1000 busiest of 3000 x labels"),
              std::string::npos);
    EXPECT_EQ(page.find("/1999\""), std::string::npos);  // a quiet label beyond the limit
    // Up to the limit every label is drawn, with no note.
    EXPECT_EQ(chartViewOf(m_diagrams, "d").labels.size(), labels);
    (void)diagram->clearData();
    feed(*diagram, {"a", "1"});
    EXPECT_EQ(run("show", "name=d").find("chartnote"), std::string::npos);
}

TEST_F(ChartPageTest, DataActionsResetRebuildAndRun) {
    DiagramHandle diagram = hitsDiagram();
    const std::string duplicate = m_dir.file("dup.log");
    std::ofstream(duplicate) << "a\t5\t\nb\t\t\n";
    m_sources.acquire("web")->setBackup(duplicate);
    EXPECT_EQ(run("show", "name=d&action=rebuild"), kWorkedExample);
    EXPECT_EQ(run("show", "name=d&action=reset"), kSubstitute);
    EXPECT_TRUE(diagram->chartData().xLabels.empty());
    run("show", "name=d&action=rebuild");
    (void)diagram->stop();
    EXPECT_EQ(run("show", "name=d&action=Run"), kSubstitute);  // names compare exactly
    EXPECT_EQ(run("show", "name=d&action=run"), kWorkedExample);
    EXPECT_TRUE(diagram->isRunning());
}

TEST_F(ChartPageTest, ALogLineCannotEndTheChartScript) {
    // A real file source: the first URL of each page becomes its label and its FIRST value.
    const std::string log = m_dir.file("access.log");
    std::ofstream(log) << "GET 1\"</SCRIPT><script>alert(1)</script>\n"
                          "GET C:\\logs\\<b>\n";
    (void)m_sources.create("file");
    {
        SourceHandle source = m_sources.acquire("file");
        source->setType(SourceType::File);
        source->setConnect(log);
        source->setBackup(m_dir.file("dup.log"));
        source->setRegexp("^GET (.*)$");
        source->setFields({"url"});
    }
    DiagramHandle diagram = addDiagram("d");
    diagram->setGroup("url", "url", "");
    diagram->setAxis("first", "url", "", AxisOper::First);
    (void)diagram->setDataSource("file");
    test::RecordingListener after;  // delivered after the diagram, in list order
    m_sources.acquire("file")->attach(after);
    ASSERT_TRUE(after.waitForProcessed(2));
    m_sources.acquire("file")->detach(after);

    const std::string hostile = "1\\x22\\x3C/SCRIPT\\x3E\\x3Cscript\\x3Ealert(1)\\x3C/script\\x3E";
    EXPECT_EQ(run("show", "name=d", "<body><*DATA*></*DATA*></body>"),
              "<body>" + std::string(kScriptStart) +
                  "var arr0 = new Array();\n"
                  "arr0[0] = \"" +
                  hostile +
                  "\";\n"
                  "arr0[1] = 0;\n"
                  "arr[0] = arr0;\n"
                  "var arrname=new Array(\"/" +
                  hostile +
                  "\", \"/C:/logs/\\x3Cb\\x3E\");\n"
                  "var labelarr=new Array(\"first\");\n" +
                  kScriptEnd + "</body>");
    (void)diagram->stop();
}

}  // namespace
}  // namespace tg
