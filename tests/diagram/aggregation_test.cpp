#include "diagram/aggregation.h"

#include <gtest/gtest.h>

#include <cfloat>

#include "diagram_fixture.h"

namespace tg {
namespace {

using Texts = std::vector<std::string>;

class AggregationTest : public test::DiagramFixture {
protected:
    // The worked example: a group on status, one axis on bytes with `oper`, three records.
    ChartData workedExample(AxisOper oper) {
        Diagram diagram("d", m_store, m_sources);
        diagram.setGroup("status", "status", "([0-9]+)");
        diagram.setAxis("bytes", "bytes", "([0-9]+)", oper);
        feed(diagram, {"200", "100", ""});
        feed(diagram, {"404", "50", ""});
        feed(diagram, {"200", "25", ""});
        return diagram.chartData();
    }
};

TEST_F(AggregationTest, WorkedExampleWithEveryOperation) {
    const ChartData sum = workedExample(AxisOper::Sum);
    EXPECT_EQ(sum.xLabels, (Texts{"/200", "/404"}));
    EXPECT_EQ(sum.series, (std::vector<Texts>{{"125", "50"}}));
    EXPECT_EQ(workedExample(AxisOper::Average).series[0], (Texts{"62.5", "50"}));
    EXPECT_EQ(workedExample(AxisOper::Last).series[0], (Texts{"25", "50"}));
    EXPECT_EQ(workedExample(AxisOper::First).series[0], (Texts{"100", "50"}));
    EXPECT_EQ(workedExample(AxisOper::Count).series[0], (Texts{"2", "1"}));
    EXPECT_EQ(workedExample(AxisOper::Min).series[0], (Texts{"25", "50"}));
    EXPECT_EQ(workedExample(AxisOper::Max).series[0], (Texts{"100", "50"}));
    EXPECT_EQ(workedExample(AxisOper::Undefined).series[0], (Texts{"0", "0"}));
}

TEST_F(AggregationTest, FiltersMustAllMatchAndInvertTurnsOneAround) {
    Diagram diagram("d", m_store, m_sources);
    diagram.setAxis("n", "bytes", "", AxisOper::Count);
    diagram.setFilter("ok", "status", "^2", 0);
    diagram.setFilter("small", "bytes", "^[0-9]$", 0);
    feed(diagram, {"200", "5", ""});   // both
    feed(diagram, {"200", "50", ""});  // only the first
    feed(diagram, {"404", "5", ""});   // only the second
    EXPECT_EQ(diagram.chartData().series[0], (Texts{"1"}));

    diagram.setFilter("ok", std::nullopt, std::nullopt, 1);  // not 2xx, and small
    feed(diagram, {"200", "5", ""});
    feed(diagram, {"404", "5", ""});
    EXPECT_EQ(diagram.chartData().series[0], (Texts{"1"}));

    diagram.setFilter("ok", std::nullopt, std::nullopt, 7);  // neither 0 nor 1: field exists
    feed(diagram, {"200", "5", ""});
    EXPECT_EQ(diagram.chartData().series[0], (Texts{"1"}));
}

TEST_F(AggregationTest, MissingFieldsAndBrokenExpressionsInFilters) {
    const auto matchesRecord = [&](const Filter& filter, const Record& record) {
        return matches(filter, RecordViews(record), m_names);
    };
    Filter missing("m");
    missing.setField("nope");
    missing.invert = 1;
    EXPECT_FALSE(matchesRecord(missing, {"200", "1", ""}));  // whatever the invert

    Filter broken("b");
    broken.setField("status");
    broken.setRegexp("(");
    EXPECT_FALSE(matchesRecord(broken, {"200", "1", ""}));
    broken.invert = 1;
    EXPECT_TRUE(matchesRecord(broken, {"200", "1", ""}));

    // A field index found earlier that lies beyond a shorter record counts as missing.
    Filter late("l");
    late.setField("text");
    EXPECT_TRUE(matchesRecord(late, {"200", "1", "x"}));
    EXPECT_FALSE(matchesRecord(late, {"200"}));
}

TEST_F(AggregationTest, GroupsJoinWithSlashesAndNoGroupsGiveOneLabel) {
    Diagram diagram("d", m_store, m_sources);
    diagram.setAxis("n", "bytes", "", AxisOper::Count);
    feed(diagram, {"200", "1", "a"});
    feed(diagram, {"404", "1", "b"});
    EXPECT_EQ(diagram.chartData().xLabels, (Texts{""}));

    diagram.setGroup("g1", "status", "");
    diagram.setGroup("g2", "text", "^([a-z])$");
    feed(diagram, {"a", "1", "b"});
    feed(diagram, {"a", "1", "long"});  // the second group does not match
    feed(diagram, {"a/b", "1", "c"});
    feed(diagram, {"a", "1", "b/c"});  // no match either: "/a/"
    EXPECT_EQ(diagram.chartData().xLabels, (Texts{"/a/b", "/a/", "/a/b/c"}));
    EXPECT_EQ(diagram.chartData().series[0], (Texts{"1", "2", "1"}));
}

TEST_F(AggregationTest, CountAndAverageOnDifferentFieldsShareTheRecordCount) {
    Diagram diagram("d", m_store, m_sources);
    diagram.setAxis("a", "text", "^(x)", AxisOper::Count);
    diagram.setAxis("b", "bytes", "^([0-9]+)$", AxisOper::Average);
    feed(diagram, {"200", "10", "y"});  // only b
    feed(diagram, {"200", "-", "x"});   // only a: b's count rises, its sum does not
    EXPECT_EQ(diagram.chartData().series, (std::vector<Texts>{{"1"}, {"5"}}));
    feed(diagram, {"200", "no", "no"});  // neither axis: not counted at all
    EXPECT_EQ(diagram.chartData().series, (std::vector<Texts>{{"1"}, {"5"}}));
}

// Min and max start from the extremes, first and last keep texts, and an average stops at the
// shorter of its data and its counts.
TEST_F(AggregationTest, EachOperationAccumulatesItsOwnWay) {
    Axis min("min");
    min.oper = AxisOper::Min;
    Axis max("max");
    max.oper = AxisOper::Max;
    for (const char* value : {"5", "3", "7"}) {
        min.current = value;
        accumulate(min, 0);
    }
    for (const char* value : {"-5", "-3"}) {
        max.current = value;
        accumulate(max, 0);
    }
    max.current = "0";
    accumulate(max, 1);
    accumulate(max, 1);
    min.current = "";  // another axis counted the record: 0 for this one
    accumulate(min, 1);
    EXPECT_EQ(valueTexts(min), (Texts{"3", "0"}));
    EXPECT_EQ(valueTexts(max), (Texts{"-3", "0"}));

    Axis first("f"), last("l");
    first.oper = AxisOper::First;
    last.oper = AxisOper::Last;
    for (const char* value : {"a", "b", "c"}) {
        first.current = last.current = value;
        accumulate(first, 0);
        accumulate(last, 0);
    }
    EXPECT_EQ(valueTexts(first), (Texts{"a"}));
    EXPECT_EQ(valueTexts(last), (Texts{"c"}));

    Axis average("a");
    average.oper = AxisOper::Average;
    average.data = {10, 20, 30};
    average.count = {2, 4};
    EXPECT_EQ(valueTexts(average), (Texts{"5", "5"}));
}

// Times of day count in minutes; otherwise only a plain leading decimal number counts.
TEST_F(AggregationTest, OnlyAPlainLeadingDecimalNumberOrATimeOfDayCounts) {
    EXPECT_NEAR(parseAxisNumber("12:34:56"), 754.9333333, 1e-6);
    const struct {
        const char* text;
        double value;
    } rows[] = {
        {"01:30:00", 90},
        {"took 1|02'03 ms", 62.05},
        {"abc", 0},
        {"3.5ms", 3.5},
        {"", 0},
        {"info", 0},
        {"INF", 0},
        {"-inf", 0},
        {"nan", 0},
        {"0x1A", 0},
        {" 5", 5},
        {"+5", 5},
        {"-2.5e1 s", -25},
        {"1e3", 1000},
        {"1e", 1},
        {".5", 0.5},
        {"7.", 7},
        {"-", 0},
        {"+.e3", 0},
        {"1e400", DBL_MAX},
        {"-1e999", -DBL_MAX},
        {"12 34", 12},
        {"\t3", 3},
        {"-0042", -42},
        {"9007199254740993", 9007199254740992.0},  // rounded as strtod rounds it
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(parseAxisNumber(row.text), row.value);
    }
    // A text that is no number never spoils a sum.
    Axis sum("s");
    sum.oper = AxisOper::Sum;
    for (const char* value : {"5", "info", "nan", "2"}) {
        sum.current = value;
        accumulate(sum, 0);
    }
    EXPECT_EQ(valueTexts(sum), (Texts{"7"}));
}

TEST_F(AggregationTest, RecentTableShowsTheLast25RecordsWithEveryResult) {
    Diagram diagram("d", m_store, m_sources);
    EXPECT_TRUE(diagram.recentTable().header.empty());  // no data source: no table at all
    (void)diagram.setDataSource("web");
    diagram.setFilter("ok", "status", "^2", 0);
    diagram.setGroup("g", "status", "");
    diagram.setAxis("bytes", "bytes", "([0-9]+)", AxisOper::Sum);
    for (int i = 0; i < 26; ++i) feed(diagram, {i % 2 ? "404" : "200", std::to_string(i), ""});
    const RecentTable table = diagram.recentTable();
    EXPECT_EQ(table.header, (Texts{"status", "bytes", "text", "ok", "Group", "bytes"}));
    ASSERT_EQ(table.rows.size(), 25u);
    EXPECT_EQ(table.rows.front(), (Texts{"404", "1", "", "N", "/404", "1"}));
    EXPECT_EQ(table.rows.back(), (Texts{"404", "25", "", "N", "/404", "25"}));

    // A longer record (kept from before the fields changed) keeps the columns aligned.
    feed(diagram, {"200", "8", "x", "extra"});
    EXPECT_EQ(diagram.recentTable().rows.back(), (Texts{"200", "8", "x", "Y", "/200", "8"}));

    // The records of a delivery are only referred to until it ends, then the last ones are
    // copied: the table is the same during and after it, also once the records are gone, and a
    // record fed directly afterwards (a replay) comes after them.
    std::vector<Record> delivery;
    for (int i = 0; i < 40; ++i) delivery.push_back({"200", std::to_string(100 + i), ""});
    const std::vector<RecordViews> views(delivery.begin(), delivery.end());
    for (const RecordViews& record : views) diagram.processDelivered(record, m_names);
    diagram.deliveryPaused();  // as a source does before it lets its lock go
    EXPECT_EQ(diagram.recentTable().rows.front()[1], "115");
    diagram.deliveryEnded();
    for (Record& record : delivery) record = {"gone", "0", ""};
    feed(diagram, {"200", "9", ""});
    const RecentTable after = diagram.recentTable();
    ASSERT_EQ(after.rows.size(), 25u);
    EXPECT_EQ(after.rows.front()[1], "116");
    EXPECT_EQ(after.rows[23][1], "139");
    EXPECT_EQ(after.rows.back()[1], "9");
    (void)diagram.stop();
}

TEST_F(AggregationTest, ManyDistinctLabelsKeepFirstAppearanceOrder) {
    Diagram diagram("d", m_store, m_sources);
    diagram.setGroup("g", "text", "");
    diagram.setAxis("n", "bytes", "", AxisOper::Count);
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 20000; ++i) feed(diagram, {"200", "1", "client-" + std::to_string(i)});
    }
    const ChartData chart = diagram.chartData();
    ASSERT_EQ(chart.xLabels.size(), 20000u);
    EXPECT_EQ(chart.xLabels[12345], "/client-12345");
    EXPECT_EQ(chart.series[0][12345], "2");
}

}  // namespace
}  // namespace tg
