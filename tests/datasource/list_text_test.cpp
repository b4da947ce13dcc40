#include "datasource/list_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tg {
namespace {

using Pieces = std::vector<std::string>;

TEST(ListText, JoinEndsEveryEntryWithTheSeparatorAndSplitGivesThemBack) {
    EXPECT_EQ(joinList({"1", "2"}, '\t'), "1\t2\t");
    EXPECT_EQ(joinList({}, '\t'), "");
    EXPECT_EQ(joinList({"", ""}, ','), ",,");
    EXPECT_EQ(splitList("1\t2\t\r\n", '\t'), (Pieces{"1", "2"}));  // the line end is dropped
    EXPECT_EQ(splitList(joinList({"date", "level", "text"}, ','), ','),
              (Pieces{"date", "level", "text"}));
}

TEST(ListText, SplitCountsOnlySeparatorTerminatedPieces) {
    EXPECT_EQ(splitList("a,b", ','), (Pieces{"a"}));
    EXPECT_EQ(splitList(",x,", ','), (Pieces{"", "x"}));
    EXPECT_EQ(splitList("no separator", ','), Pieces{});
    EXPECT_EQ(splitList("", ','), Pieces{});
}

TEST(NextToken, SkipsDelimitersAndClearsCursorAtTheEnd) {
    char text[] = "\r\nabc\r\n\r\ndef";
    char* cursor = text;
    EXPECT_STREQ(nextToken(cursor, "\n\r"), "abc");
    ASSERT_NE(cursor, nullptr);
    EXPECT_STREQ(nextToken(cursor, "\n\r"), "def");
    EXPECT_EQ(cursor, nullptr);  // no delimiter followed the last token
    EXPECT_EQ(nextToken(cursor, "\n\r"), nullptr);

    char onlyDelimiters[] = "\n\r\n";
    cursor = onlyDelimiters;
    EXPECT_EQ(nextToken(cursor, "\n\r"), nullptr);
    EXPECT_EQ(cursor, nullptr);

    char empty[] = "";
    cursor = empty;
    EXPECT_EQ(nextToken(cursor, "\n\r"), nullptr);
}

}  // namespace
}  // namespace tg
