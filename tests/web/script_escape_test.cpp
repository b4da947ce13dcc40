#include "web/script_escape.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "web/query_args.h"

namespace tg {
namespace {

TEST(EscapeForScript, EscapesAllButLetters) {
    struct Case {
        std::string text;
        std::string escaped;
    };
    const std::vector<Case> cases = {
        {"Web log 1", "Web%20log%20%31"},
        {"a_b", "a%5Fb"},
        {"\tA", "%09A"},  // not "%9A", which reads back as the one byte 0x9A
        {"\x01", "%01"},
        {"0.-", "%30%2E%2D"},
        {"\x7F", "%7F"},
        {"\xE9", "%u00E9"},
        {"\x80", "%u20AC"},
        {"\x9F", "%u0178"},
        {"\xFF", "%u00FF"},
        {"\x81\x8D\x8F\x90\x9D", "%u0081%u008D%u008F%u0090%u009D"},
        {std::string("a\0b", 3), "a%u0000b"},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.escaped);
        EXPECT_EQ(escapeForScript(c.text), c.escaped);
    }
}

TEST(EscapeForScript, EveryByteReadsBackThroughDecodeArgValue) {
    for (int b = 1; b < 256; ++b) {
        SCOPED_TRACE(b);
        const std::string text = "x" + std::string(1, static_cast<char>(b)) + "y";
        std::string decoded;
        EXPECT_TRUE(DecodeArgValue(escapeForScript(text), decoded));
        EXPECT_EQ(decoded, text);
    }
}

TEST(CodePage, MapsWindows1252BothWays) {
    EXPECT_EQ(ansiToUnicode(0x41), u'A');
    EXPECT_EQ(ansiToUnicode(0x80), u'\u20AC');
    EXPECT_EQ(ansiToUnicode(0x8C), u'\u0152');
    EXPECT_EQ(unicodeToAnsi(u'\u0152'), 0x8C);
    EXPECT_EQ(unicodeToAnsi(u'\u00FC'), 0xFC);
    EXPECT_EQ(unicodeToAnsi(u'\u0080'), std::nullopt);  // its byte is the euro sign's
    EXPECT_EQ(unicodeToAnsi(u'\uFFFF'), std::nullopt);
}

}  // namespace
}  // namespace tg
