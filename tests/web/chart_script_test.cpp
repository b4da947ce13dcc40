#include "web/chart_script.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tg {
namespace {

std::string scriptOf(const ChartView& chart) {
    std::string out;
    appendChartScript(out, chart);
    return out;
}

std::string valueOf(const std::string& value) {
    std::string out;
    appendChartValue(out, value);
    return out;
}

std::string literalOf(const std::string& text) {
    std::string out;
    appendScriptString(out, text);
    return out;
}

std::size_t count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

TEST(ChartScript, WorkedExampleIsWrittenLineForLine) {
    const ChartView chart{{"/a", "/b"}, {"hits"}, {{"5", ""}}};
    EXPECT_EQ(scriptOf(chart),
              "<SCRIPT LANGUAGE=\"Javascript\" type=\"text/jscript\" >\n"
              "<!--\n"
              "var arr=new Array();\n"
              "var arr0 = new Array();\n"
              "arr0[0] = 5;\n"
              "arr0[1] = 0;\n"
              "arr[0] = arr0;\n"
              "var arrname=new Array(\"/a\", \"/b\");\n"
              "var labelarr=new Array(\"hits\");\n"
              "-->\n"
              "</SCRIPT>\n");
    // Empty lists write nothing between the parentheses; indices count on past 9.
    const std::string empty = scriptOf(ChartView{});
    EXPECT_NE(empty.find("var arrname=new Array();\nvar labelarr=new Array();\n"),
              std::string::npos);
    ChartView wide{{}, {"a", "b"}, {{}, std::vector<std::string>(11, "1")}};
    const std::string script = scriptOf(wide);
    EXPECT_NE(script.find("arr1[10] = 1;\narr[1] = arr1;\n"), std::string::npos);
}

TEST(ChartScript, ValuesAreZeroPlainNumbersOrStrings) {
    struct Case {
        std::string value;
        std::string written;
    };
    const std::vector<Case> cases = {
        {"12.5", "12.5"},
        {"7", "7"},
        {"-3", "-3"},
        {"1.5e+20", "1.5e+20"},
        {"0.25", "0.25"},
        // atof gives 0: written as 0.
        {"", "0"},
        {"abc", "0"},
        {"0.000", "0"},
        {"-0", "0"},
        {"</SCRIPT><script>alert(1)</script>", "0"},
        // A leading number that is not zero, but not a plain number either: a string.
        {"12abc", "\"12abc\""},
        {"5;alert(1)", "\"5;alert(1)\""},
        {"1</script>", "\"1\\x3C/script\\x3E\""},
        {"010", "\"010\""},  // JavaScript could read it as octal
        {"inf", "\"inf\""},
        {"nan", "\"nan\""},
        {"0x1A", "\"0x1A\""},
        {" 5", "\" 5\""},
        {"5.", "\"5.\""},
        {"1e", "\"1e\""},
        {std::string("5\0x", 3), "\"5\\x00x\""},  // atof stops at the zero byte, the text does not
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("value '" + c.value + "'");
        EXPECT_EQ(valueOf(c.value), c.written);
    }
}

TEST(ChartScript, LabelsAndNamesCannotLeaveTheirStrings) {
    EXPECT_EQ(literalOf("C:\\logs\\a"), "\"C:/logs/a\"");
    EXPECT_EQ(literalOf("say \"hi\" & 'bye'"), "\"say \\x22hi\\x22 \\x26 \\x27bye\\x27\"");
    EXPECT_EQ(literalOf("</SCRIPT>-->"), "\"\\x3C/SCRIPT\\x3E--\\x3E\"");
    EXPECT_EQ(literalOf(std::string("a\nb\rc\td\0e\x7F", 10)),
              "\"a\\x0Ab\\x0Dc\\x09d\\x00e\\x7F\"");
    EXPECT_EQ(literalOf("\\\""), "\"/\\x22\"");  // a backslash cannot escape the quote after it

    // A whole script over hostile labels, names and values keeps its shape: the same ten
    // lines, one script end, one comment end.
    const std::string hostile = "x\");alert(1);//</SCRIPT>\n<script>-->\r\\";
    const std::string script = scriptOf(ChartView{{hostile}, {hostile}, {{"1" + hostile}}});
    EXPECT_EQ(count(script, "\n"), 10u);
    EXPECT_EQ(count(script, "</SCRIPT>"), 1u);
    EXPECT_EQ(count(script, "<"), 3u);  // <SCRIPT, <!--, </SCRIPT>
    EXPECT_EQ(count(script, "-->"), 1u);
    EXPECT_EQ(count(script, "\""), 4u + 6);  // the tag's two attributes, three strings
}

TEST(ChartScript, BytesAboveAsciiBecomeUnicodeEscapes) {
    struct Case {
        const char* name;
        std::string text;
        std::string literal;
    };
    const std::vector<Case> cases = {
        {"UTF-8 two bytes", "caf\xC3\xA9", "\"caf\\u00E9\""},
        {"UTF-8 three bytes",
         "\xE2\x82\xAC"
         "5",
         "\"\\u20AC5\""},
        {"UTF-8 beyond U+FFFF", "\xF0\x9F\x98\x80", "\"\\uD83D\\uDE00\""},
        {"line separator", "\xE2\x80\xA8", "\"\\u2028\""},
        {"Windows-1252 letter", "caf\xE9!", "\"caf\\u00E9!\""},
        {"Windows-1252 euro", "\x80", "\"\\u20AC\""},
        {"sequence cut short", "\xC3", "\"\\u00C3\""},
        {"overlong slash", "\xC0\xAF", "\"\\u00C0\\u00AF\""},
        {"surrogate", "\xED\xA0\x80", "\"\\u00ED\\u00A0\\u20AC\""},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", "\"\\u00F4\\u0090\\u20AC\\u20AC\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string literal = literalOf(c.text);
        EXPECT_EQ(literal, c.literal);
        for (const char ch : literal) EXPECT_LT(static_cast<unsigned char>(ch), 0x80);
    }
}

}  // namespace
}  // namespace tg
