#include <gtest/gtest.h>

#include <string>

#include "page_fixture.h"

namespace tg {
namespace {

constexpr const char* kTable =
    "<*FIELDRECORD*>[*FIELDNAME*:<*FIELDVALUERECORD*> *FIELDVALUE*</*FIELDVALUERECORD*>]"
    "</*FIELDRECORD*>"
    "<*FILTERRECORD*>[*FILTERNAME*:<*FILTERRESULTRECORD*> *FILTERRESULT*</*FILTERRESULTRECORD*>]"
    "</*FILTERRECORD*>"
    "[Group:<*GROUPRESULTRECORD*> *GROUPRESULT*</*GROUPRESULTRECORD*>]"
    "<*AXISRECORD*>[*AXISNAME*:<*AXISRESULTRECORD*> *AXISRESULT*</*AXISRESULTRECORD*>]"
    "</*AXISRECORD*>";

class TextResultPageTest : public test::PageFixture {
protected:
    TextResultPageTest() { writeTemplate("showtext", kTable); }

    // A filter named like a field, a group and an axis.
    DiagramHandle tableDiagram() {
        DiagramHandle diagram = addDiagram("d");
        diagram->setFilter("status", "status", "^2", 0);
        diagram->setGroup("status", "status", "");
        diagram->setAxis("sum", "bytes", "", AxisOper::Sum);
        return diagram;
    }
};

TEST_F(TextResultPageTest, ColumnsAreFoundAmongTheirOwnKind) {
    DiagramHandle diagram = tableDiagram();
    feed(*diagram, {"200", "5"});
    feed(*diagram, {"404", "7"});
    EXPECT_EQ(run("showtext", "name=d"),
              "[status: 200 404][bytes: 5 7][status: Y N][Group: /200 /404][sum: 5 7]");
    // A value block outside its name block reads the name the last repetition left.
    EXPECT_EQ(run("showtext", "name=d",
                  "<*FIELDVALUERECORD*>(*FIELDVALUE*)</*FIELDVALUERECORD*>|"
                  "<*FIELDRECORD*></*FIELDRECORD*>"
                  "<*FIELDVALUERECORD*>(*FIELDVALUE*)</*FIELDVALUERECORD*>|"
                  "<*AXISRECORD*></*AXISRECORD*><*AXISRESULTRECORD*>(*AXISRESULT*)"
                  "</*AXISRESULTRECORD*><*GROUPRECORD*>dropped</*GROUPRECORD*>"),
              "|(5)(7)|(5)(7)");
}

TEST_F(TextResultPageTest, StoppedShowsNothingAndRunningWithoutRecordsShowsNoData) {
    DiagramHandle diagram = tableDiagram();
    EXPECT_EQ(run("showtext", "name=d"),
              "[status: No data][bytes: No data][status: No data][Group: No data][sum: No data]");
    feed(*diagram, {"200", "5"});
    (void)diagram->stop();
    EXPECT_EQ(run("showtext", "name=d"), "[Group:]");
    EXPECT_EQ(run("showtext", "name=D"), "ERROR[Can&#39;t find diagram &#39;D&#39;][index.html]");
}

TEST_F(TextResultPageTest, ARecordShorterThanTheColumnsFailsNamingTheDiagram) {
    // Kept from before the source had a second field.
    DiagramHandle diagram = tableDiagram();
    diagram->processRecord({"200"}, {"status"});
    EXPECT_EQ(run("showtext", "name=d"),
              "ERROR[The recent records of diagram &#39;d&#39; have fewer values than the "
              "table has columns; rebuild or reset it][index.html]");
}

}  // namespace
}  // namespace tg
