#include "web/query_args.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tg {
namespace {

TEST(ParseQueryArgs, SplitsParametersAsTheServerSendsThem) {
    struct Case {
        std::string text;
        RequestVariables expected;
    };
    const std::vector<Case> cases = {
        {"a=1&b=x%20y&c", {{"a", "1"}, {"b", "x y"}}},
        {"a=1&a=2", {{"a", "2"}}},
        {"=5", {{"", "5"}}},
        {"a=", {{"a", ""}}},
        {"n%41me=v", {{"n%41me", "v"}}},
        {"a&b=1", {{"a&b", "1"}}},
        {"v=a+b%2Bc", {{"v", "a b+c"}}},
        {"a=1&", {{"a", "1"}}},
        {"a=1&&b=2", {{"a", "1"}, {"&b", "2"}}},
        {"a=b=c&d=%", {{"a", "b=c"}, {"d", ""}}},
        {"v=ab%u00&w=1", {{"v", "ab"}, {"w", "1"}}},
        {"", {}},
        {"noequals", {}},
        {std::string("a=1&b=2\0&c=3", 12), {{"a", "1"}, {"b", "2"}}},
        {std::string("a=x\0y", 5), {{"a", "x"}}},
        {"v=x%00y&w=2", {{"v", "x"}, {"w", "2"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        RequestVariables variables;
        ParseQueryArgs(c.text, variables);
        EXPECT_EQ(variables, c.expected);
    }
}

TEST(ParseQueryArgs, ReplacesExistingVariablesAndKeepsOthers) {
    RequestVariables variables = {{"action", "old"}, {"keep", "1"}};
    ParseQueryArgs("action=delete", variables);
    EXPECT_EQ(variables, (RequestVariables{{"action", "delete"}, {"keep", "1"}}));
}

TEST(DecodeArgValue, DecodesEscapesAndStopsAtBadWideEscapes) {
    struct Case {
        std::string encoded;
        std::string decoded;
        bool complete;
    };
    const std::vector<Case> cases = {
        {"plain", "plain", true},
        {"", "", true},
        {"%41", "A", true},
        {"%4a%4A", "JJ", true},
        {"a+b", "a b", true},
        {"%2B", "+", true},
        {"%G1", "\x01", true},
        {"%zz", "", true},  // byte 0 ends the value
        {"x%", "x", true},
        {"x%4", "x", true},
        {"%%41",
         "\x04"
         "1",
         true},
        {"%u0041", "A", true},
        {"%u20AC", "\x80", true},
        {"%u20ac!", "\x80!", true},
        {"%u00E9", "\xE9", true},
        {"%u0081", "\x81", true},  // undefined in Windows-1252: the control character
        {"%U0041",
         "\x00"
         "041",
         true},
        {"ab%u00", "ab", false},
        {"ab%u", "ab", false},
        {"ab%u4E00cd", "ab", false},  // no Windows-1252 byte
        {"ab%uD800cd", "ab", false},  // lone surrogate
        {"ab%u0100cd", "ab", false},
        {"ab%u0000cd", "ab", true},
        {std::string("ab\0cd", 5), "ab", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.encoded);
        std::string decoded = "stale";
        EXPECT_EQ(DecodeArgValue(c.encoded, decoded), c.complete);
        EXPECT_EQ(decoded, c.decoded.substr(0, c.decoded.find('\0')));
    }
}

}  // namespace
}  // namespace tg
