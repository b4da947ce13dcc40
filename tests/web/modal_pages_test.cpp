#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/config_key.h"
#include "regex/regexp_sandbox.h"
#include "page_fixture.h"
#include "web/diagram_test_page.h"

namespace tg {
namespace {

constexpr const char* kTestTable =
    "<*DATA*>dropped</*DATA*>"
    "<*AXISRECORD*>|*AXISNAME*</*AXISRECORD*>"
    "<*GROUPRECORD*>[*GROUPNAME*:<*DATA*> *VALUE*</*DATA*>]</*GROUPRECORD*>"
    "*DIAGRAMNAME*,*DIAGRAMNAMEESCAPED*";

class ModalPagesTest : public test::PageFixture {
protected:
    struct StoredAxis {
        std::string name, data, count;
    };
    // Stores a diagram of the source "web" with SUM axes of "bytes" and the given data, then
    // loads and starts it as the program does.
    void addStoredDiagram(const std::string& name, const std::string& xaxis,
                          const std::vector<StoredAxis>& axes) {
        {
            ConfigKey key(m_store);
            (void)key.open("\\diagrams\\" + name);
            key.setString("datasource", "web");
            key.setString("xaxis", xaxis);
            for (const StoredAxis& axis : axes) {
                (void)key.open("\\diagrams\\" + name + "\\yaxises\\" + axis.name);
                key.setString("datasource", "bytes");
                key.setString("regexp", ".*");
                key.setDword("oper", static_cast<std::uint32_t>(AxisOper::Sum));
                key.setString("data", axis.data);
                key.setString("count", axis.count);
            }
        }
        auto loaded = std::make_unique<Diagram>("Temp", m_store, m_sources);
        loaded->loadDefinition(name);
        loaded->loadData();
        (void)loaded->start();
        m_diagrams.add(std::move(loaded));
    }
};

TEST_F(ModalPagesTest, DiagramTestShowsTheChartDataAsATable) {
    writeTemplate("modaltest", kTestTable);
    DiagramHandle diagram = addDiagram("d 1");
    diagram->setGroup("status", "status", "");
    diagram->setAxis("sum", "bytes", "", AxisOper::Sum);
    diagram->setAxis("count", "bytes", "", AxisOper::Count);
    const std::string substitute = "|No data|No data[No data: 1 1][No data: 1 1]d 1,d%20%31";
    EXPECT_EQ(run("modaltest", "name=d+1"), substitute);
    feed(*diagram, {"200", "5"});
    feed(*diagram, {"404", "7"});
    feed(*diagram, {"200", "1"});
    EXPECT_EQ(run("modaltest", "name=d+1"), "|sum|count[/200: 6 2][/404: 7 1]d 1,d%20%31");
    EXPECT_EQ(run("modaltest", "name=d+1&action=reset"), substitute);
    EXPECT_EQ(run("modaltest", "name=d"), "ERROR[Can&#39;t find diagram &#39;d&#39;][index.html]");
}

TEST_F(ModalPagesTest, DiagramTestReadsNothingOutsideAShorterSeries) {
    // Stored lists may be shorter than the x labels: axis b has one slot for two labels.
    addStoredDiagram("short", "/x\t/y\t", {{"a", "1,2,", "1,1,"}, {"b", "5,", "1,"}});
    EXPECT_EQ(run("modaltest", "name=short", kTestTable), "|a|b[/x: 1 5][/y: 2]short,short");
}

TEST_F(ModalPagesTest, DiagramTestWithVeryManyLabelsShowsTheFirstRowsRightAndCountsTheRest) {
    // One label more than the page shows, and one label repeated: its row shows the values
    // of the first equal label.
    const std::size_t count = DiagramTestPage::kMaxRows + 1;
    std::vector<std::string> labels;
    std::string xaxis, data, counts;
    for (std::size_t i = 0; i < count; ++i) {
        labels.push_back("/" + std::to_string(i));
        if (i == count - 2) labels.back() = "/7";
        xaxis += labels.back() + "\t";
        data += std::to_string(i * 2) + ",";
        counts += "1,";
    }
    addStoredDiagram("many", xaxis, {{"a", data, counts}});

    std::string expected = "|a";
    for (std::size_t i = 0; i + 1 < count; ++i) {
        const std::size_t first = labels[i] == "/7" ? 7 : i;
        expected += "[" + labels[i] + ": " + std::to_string(first * 2) + "]";
    }
    expected += "[... 1 more x labels not shown:]many,many";
    EXPECT_TRUE(run("modaltest", "name=many", kTestTable) == expected);
}

TEST_F(ModalPagesTest, ChoiceListTakesTheFirstListAskedFor) {
    writeTemplate("modalchoose", "<*ANYTHING*>[*PARAM*]</*ANYTHING*>|*DATASOURCENAME*");
    (void)m_sources.create("other");
    struct Case {
        const char* query;
        const char* body;
    };
    const Case cases[] = {
        {"", "|"},
        {"data_source_list=1&oper_list=1", "[web][other]|"},
        {"data_source_list=0&oper_list=1", "[SUM][COUNT][MIN][MAX][AVERAGE][FIRST][LAST]|"},
        {"data_source_list=abc&oper_list=%2B2", "[SUM][COUNT][MIN][MAX][AVERAGE][FIRST][LAST]|"},
        {"data_source_fields=1&data_source_name=web&oper_list=1", "[status][bytes]|web"},
        {"data_source_fields=0&data_source_name=web", "|"},
        {"data_source_fields=1&data_source_name=nope",
         "ERROR[Can&#39;t find datasource &#39;nope&#39;][]"},
        {"data_source_fields=1", "ERROR[Can&#39;t find datasource &#39;&#39;][]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query);
        EXPECT_EQ(run("modalchoose", c.query), c.body);
    }
}

TEST_F(ModalPagesTest, RegexpTestRunsOnlyWithASample) {
    writeTemplate("modalregexp", "*REGEXP*|*REGEXP_RESULT*|*REGEXP_SAMPLE*");
    EXPECT_EQ(run("modalregexp", "regexp=a(b%2B)c"), "a(b+)c||");
    EXPECT_EQ(run("modalregexp", "regexp=a(b%2B)c&sample="), "a(b+)c||");
    EXPECT_EQ(run("modalregexp", "regexp=a(b%2B)c&sample=xABbc"), "a(b+)c|Bb|xABbc");
    EXPECT_EQ(run("modalregexp", "regexp=z&sample=%3Cx%3E"), "z|not found|&lt;x&gt;");
    EXPECT_EQ(run("modalregexp", "regexp=(&sample=x"), "(|Regular Expression Syntax Error|x");
}

TEST_F(ModalPagesTest, RegexpTestNeitherCrashesNorHoldsTheServer) {
    writeTemplate("modalregexp", "*REGEXP_RESULT*");
    // Groups nested deep enough to overflow a parser's stack are refused before parsing.
    const std::string deep = std::string(10000, '(') + "x" + std::string(10000, ')');
    EXPECT_EQ(run("modalregexp", "regexp=" + deep + "&sample=x"),
              "Regular Expression Syntax Error");
    // glibc takes tens of seconds over this back-reference: the test gives up instead.
    const std::string sample(16384, 'a');
    EXPECT_EQ(run("modalregexp", "regexp=(.*)%5C1&sample=" + sample), kRegexpTestTimedOut);
    // A long answer arrives whole, and the server goes on testing.
    EXPECT_EQ(run("modalregexp", "regexp=(a*)$&sample=" + sample), sample);
    EXPECT_EQ(run("modalregexp", "regexp=(b%2B)%5C1&sample=abbbbc"), "bb");
}

TEST_F(ModalPagesTest, TheSevenNamesHaveTheirPages) {
    // Every named page shows the error template when it fails; any other name does not.
    for (const char* name : {"edit", "show", "showtext", "modaltest", "index", "about"}) {
        SCOPED_TRACE(name);
        const std::string body = run(name, "name=nope&action=x", "page");
        EXPECT_EQ(body, std::string(name) == "about"
                            ? "page"
                            : "ERROR[Can&#39;t find diagram &#39;nope&#39;][index.html]");
    }
    EXPECT_EQ(run("modalchoose", "data_source_fields=1&data_source_name=nope", "<*X*></*X*>"),
              "ERROR[Can&#39;t find datasource &#39;nope&#39;][]");
    EXPECT_EQ(run("modalregexp", "regexp=x&EDIT=e", "*REGEXP**EDIT*"), "xe");
    EXPECT_EQ(run("about", "regexp=x&EDIT=e", "*REGEXP**EDIT*"), "e");
}

}  // namespace
}  // namespace tg
