#include "diagram/diagram_data.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "datasource/list_text.h"
#include "diagram/label_table.h"

namespace tg {
namespace {

TEST(DiagramDataTest, NumbersAreWrittenAsGcvtWritesThemWithTenDigits) {
    for (double value : {125.0, 62.5, 12345678901.5, 0.1, 1e-5, -3.25, 1e100, 4294967296.0,
                         123456.7890123, 0.0, -0.0}) {
        SCOPED_TRACE(value);
        char expected[64];
        gcvt(value, 10, expected);
        EXPECT_EQ(formatNumber(value), expected);
    }
    EXPECT_EQ(formatNumber(12345678901.5), "1.23456789e+10");
}

TEST(DiagramDataTest, StoredNumbersReadBackExactly) {
    const std::vector<double> values = {10452925076.0, 12345678901.5, 0.1 + 0.2, 1.0 / 3, DBL_MAX,
                                        -DBL_MAX,      5e-324,        -0.0,      125,     62.5};
    EXPECT_EQ(splitDoubles(joinDoubles(values)), values);
    EXPECT_EQ(joinDoubles({10452925076.0, 125, 62.5, 0.1}), "10452925076,125,62.5,0.1,");
    // What older stores hold, ten digits, still reads.
    EXPECT_EQ(splitDoubles("1.045292508e+10,62.5,"), (std::vector<double>{10452925080.0, 62.5}));
}

TEST(DiagramDataTest, EscapedListsGiveBackEveryEntryWhateverTheSeparator) {
    const std::vector<std::vector<std::string>> lists = {
        {}, {""}, {"", ""}, {"a\tb"}, {"\t", "\\", "\\s", "\\\t", ""}, {"s\\", "/S", "x"},
    };
    for (char separator : {'\t', ',', '\\', 's', '/'}) {
        for (const auto& list : lists) {
            SCOPED_TRACE(testing::Message()
                         << "separator " << separator << ", " << testing::PrintToString(list));
            const std::string text = joinEscapedList(list, separator);
            EXPECT_EQ(splitEscapedList(text, separator), list);
            // The flat lists write and read the same texts.
            EXPECT_EQ(joinEscapedTexts(TextList(list), separator), text);
            EXPECT_EQ(splitEscapedTexts(text, separator), list);
            // Whatever the entries, a reader that knows no escaping sees as many of them.
            EXPECT_EQ(splitList(text, separator).size(), list.size());
        }
    }
    EXPECT_EQ(joinEscapedList({"a\tb", "c\\"}, '\t'), "a\\sb\tc\\\\\t\\");
    EXPECT_EQ(joinEscapedList({"a\\b", "c"}, '\t'), "a\\b\tc\t");  // as joinList writes it
    EXPECT_EQ(splitEscapedList("a\\b\\\t\\\\\t", '\t'),
              (std::vector<std::string>{"a\\b\\", "\\\\"}));
}

TEST(DiagramDataTest, NumberListsCountOnlyCommaTerminatedPieces) {
    EXPECT_EQ(joinDoubles({1.5, 2}), "1.5,2,");
    EXPECT_EQ(joinDoubles({}), "");
    const struct {
        const char* text;
        std::vector<double> values;
    } rows[] = {
        {"1.5,2,", {1.5, 2}},
        {"1.5,2", {1.5}},  // the unterminated tail is dropped
        {"", {}},
        {",,", {0, 0}},
        {"abc,3 apples,-7e2,", {0, 3, -700}},  // atof: the leading number, else 0
        {" 5,+6,0x10,1e999,", {5, 6, 16, HUGE_VAL}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(splitDoubles(row.text), row.values);
    }
}

TEST(DiagramDataTest, CountsRoundTripWholeAndOutOfRangeTextsAreClamped) {
    EXPECT_EQ(joinCounts({3, 1}), "3,1,");
    EXPECT_EQ(joinCounts({}), "");
    const std::vector<std::uint32_t> large = {0, 2147483648u, 4294967295u};
    EXPECT_EQ(joinCounts(large), "0,2147483648,4294967295,");
    EXPECT_EQ(splitLongs(joinCounts(large)), large);  // beyond a signed 32-bit read

    const struct {
        const char* text;
        std::vector<std::uint32_t> counts;
    } rows[] = {
        {"3,1,", {3, 1}},
        {"3,1", {3}},
        {"-5,", {0}},
        {"4294967296,99999999999999999999999,", {4294967295u, 4294967295u}},
        {"x, 12,+4,", {0, 12, 4}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(splitLongs(row.text), row.counts);
    }
}

TEST(DiagramDataTest, LabelsKeepTheirFirstPositionThroughGrowthReloadAndClear) {
    LabelTable table;
    constexpr std::size_t kLabels = 100000;  // grows the index many times
    for (std::size_t i = 0; i < kLabels; ++i) {
        ASSERT_EQ(table.positionOf("/10.0." + std::to_string(i)), i);
    }
    EXPECT_EQ(table.positionOf(""), kLabels);  // the empty label is one too
    for (std::size_t i = 0; i < kLabels; i += 997) {
        EXPECT_EQ(table.positionOf("/10.0." + std::to_string(i)), i);
    }
    EXPECT_EQ(table.size(), kLabels + 1);
    EXPECT_EQ(table.labels()[kLabels - 1], "/10.0." + std::to_string(kLabels - 1));

    // As read from a store: a label listed twice is found at its first position.
    table.assign(TextList{"/a", "/b", "/a", "/c"});
    EXPECT_EQ(table.positionOf("/a"), 0u);
    EXPECT_EQ(table.positionOf("/c"), 3u);
    EXPECT_EQ(table.positionOf("/d"), 4u);
    EXPECT_EQ(table.labels(), (std::vector<std::string>{"/a", "/b", "/a", "/c", "/d"}));
    table.clear();
    EXPECT_EQ(table.size(), 0u);
    EXPECT_EQ(table.positionOf("/c"), 0u);
}

}  // namespace
}  // namespace tg
