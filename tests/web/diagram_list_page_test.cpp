#include <gtest/gtest.h>

#include <string>

#include "page_fixture.h"

namespace tg {
namespace {

constexpr const char* kList =
    "<*DIAGRAMRECORD*>[*DIAGRAMNAME*|*DIAGRAMRUNNING*|*DIAGRAMNAMEESCAPED*]</*DIAGRAMRECORD*>"
    "*EDIT*";

class DiagramListPageTest : public test::PageFixture {
protected:
    DiagramListPageTest() { writeTemplate("index", kList); }
};

TEST_F(DiagramListPageTest, ListsDiagramsInByteOrderWithTheirState) {
    EXPECT_EQ(run("index", "EDIT=1"), "1");  // no diagrams: the block renders nothing
    (void)addDiagram("b")->stop();
    addDiagram("a");
    (void)addDiagram("C")->stop();
    (void)addDiagram("Web log 1")->stop();
    EXPECT_EQ(run("index"), "[C|false|C][Web log 1|false|Web%20log%20%31][a|true|a][b|false|b]");
}

TEST_F(DiagramListPageTest, ActionsRunStopAndDelete) {
    (void)addDiagram("a")->stop();
    addDiagram("b");
    EXPECT_EQ(run("index", "action=run&name=a"), "[a|true|a][b|true|b]");
    EXPECT_EQ(run("index", "action=stop&name=b"), "[a|true|a][b|false|b]");
    EXPECT_EQ(run("index", "action=pause&name=b"), "[a|true|a][b|false|b]");
    EXPECT_EQ(run("index", "action=delete&name=nope"), "[a|true|a][b|false|b]");
    EXPECT_EQ(run("index", "action=delete&name=a"), "[b|false|b]");
    EXPECT_FALSE(stored("a"));
    EXPECT_TRUE(stored("b"));

    // Failures show the error page and change nothing.
    EXPECT_EQ(run("index", "action=pause&name=nope"),
              "ERROR[Can&#39;t find diagram &#39;nope&#39;][index.html]");
    EXPECT_EQ(run("index", "action=delete"),
              "ERROR[The name of the diagram has not been specified][index.html]");
    EXPECT_EQ(run("index", "action=delete&name="),
              "ERROR[The name of the diagram has not been specified][index.html]");
    EXPECT_EQ(run("index"), "[b|false|b]");
}

TEST_F(DiagramListPageTest, DeleteLeavesABorrowedDiagramAndAMissingTemplateRunsNoAction) {
    {
        const DiagramHandle held = addDiagram("a");
        EXPECT_EQ(run("index", "action=delete&name=a"), "[a|true|a]");
    }
    std::remove(m_dir.file("index.html").c_str());
    EXPECT_EQ(run("index", "action=delete&name=a").rfind("ERROR[Can&#39;t open file", 0), 0u);
    writeTemplate("index", kList);
    EXPECT_EQ(run("index"), "[a|true|a]");
}

}  // namespace
}  // namespace tg
