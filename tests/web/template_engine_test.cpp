#include "web/template_engine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/temp_dir.h"

namespace tg {
namespace {

using Row = std::vector<std::pair<std::string, std::string>>;

// A page with a list of rows per record kind, expanded as every page does: set the row's
// variables, render the block, stop at the first failure.
class FakePage : public TemplatePage {
public:
    FakePage() : engine(*this) {}

    bool prepare(const RequestVariables& request) override {
        ++prepareCalls;
        const auto it = request.find("fail");
        return it == request.end();
    }
    bool expandRecord(std::string_view block, RecordKind kind, std::string& out) override {
        blocks.emplace_back(block);
        if (failKind == kind) return false;
        const auto it = rows.find(kind);
        if (it == rows.end()) return true;
        for (const Row& row : it->second) {
            for (const auto& [name, value] : row) engine.setVariable(name, value);
            if (!engine.render(block, out)) return false;
        }
        return true;
    }
    RecordKind recordKindOf(std::string_view openToken) override {
        return findRecordKind(openToken, {RecordKind::AxisRecord, RecordKind::GroupRecord,
                                          RecordKind::FilterRecord, RecordKind::Data});
    }
    void templateFailed(std::string message) override { errors.push_back(std::move(message)); }

    TemplateEngine engine;
    std::map<RecordKind, std::vector<Row>> rows;
    std::optional<RecordKind> failKind;
    std::vector<std::string> blocks;
    std::vector<std::string> errors;
    int prepareCalls = 0;
};

struct Case {
    const char* name;
    std::string text;
    std::string expected;
};

void fillDiagram(FakePage& page) {
    page.engine.setVariable("X", "1");
    page.engine.setVariable("TAG", "*X*");
    page.rows[RecordKind::GroupRecord] = {{{"GROUPNAME", "a"}}, {{"GROUPNAME", "b"}}};
    page.rows[RecordKind::FilterRecord] = {{{"FILTERNAME", "f1"}}, {{"FILTERNAME", "f2"}}};
    page.rows[RecordKind::AxisRecord] = {};
    page.rows[RecordKind::Data] = {{{"VALUE", "7"}}};
}

TEST(TemplateEngine, RendersTagsAsWritten) {
    const std::vector<Case> cases = {
        {"no tags copied byte for byte", std::string("<p class=\"x\">a\0b\r\n</p>\n", 22),
         std::string("<p class=\"x\">a\0b\r\n</p>\n", 22)},
        {"empty template", "", ""},
        {"unset variable is empty", "a*UNSET*b", "ab"},
        {"set variable", "a*X*b", "a1b"},
        {"name normalized everywhere", "a*\t X /*b* <X>*c", "a1b1c"},
        {"names are case-sensitive", "a*x*b", "ab"},
        {"empty name", "a**b", "ab"},
        {"lone asterisk is text", "2 * 3 = 6", "2 * 3 = 6"},
        {"asterisks pair up across script", "x = 2 * 3; y = 4 * 5", "x = 2  5"},
        {"value is not rescanned", "[*TAG*]", "[*X*]"},
        {"records repeat per row", "<*GROUPRECORD*>[*GROUPNAME*]</*GROUPRECORD*>", "[a][b]"},
        {"empty list renders nothing", "x<*AXISRECORD*>[*AXISNAME*]</*AXISRECORD*>y", "xy"},
        {"blanks inside record tags", "<* GROUPRECORD *>*GROUPNAME*</* GROUPRECORD*>", "ab"},
        {"split start delimiter is a variable", "< * GROUPRECORD * >", "<  >"},
        {"kind found anywhere in the token", "<*MYDATA*>v*VALUE*</*MYDATA*>", "v7"},
        {"unknown block dropped with content", "x<*FOO*>*X*<*GROUPRECORD*></*FOO*>y", "xy"},
        {"row variables outlive the block", "<*GROUPRECORD*></*GROUPRECORD*>*GROUPNAME*", "b"},
        {"stray close tag is a variable", "a</*X*>b", "a</1>b"},
        {"other names nest",
         "<*GROUPRECORD*><*FILTERRECORD*>*GROUPNAME**FILTERNAME*,</*FILTERRECORD*>;"
         "</*GROUPRECORD*>",
         "af1,af2,;bf1,bf2,;"},
        {"close tag of another name inside a block",
         "<*GROUPRECORD*>x</*FILTERRECORD*>y</*GROUPRECORD*>", "x</>yx</>y"},
        {"close tag needs its own name, not a prefix",
         "<*GROUPRECORD*>*GROUPNAME*</*GROUPRECORD2*>|</*GROUPRECORD*>", "a</>|b</>|"},
        // The variable from the first asterisk to the one of "<*" swallows the record tag;
        // the rest pairs up as "*>*" and "*</*", leaving the last "*>" unpaired.
        {"variable before a record tag wins", "a*b<*GROUPRECORD*>*GROUPNAME*</*GROUPRECORD*>",
         "aGROUPRECORDGROUPNAMEGROUPRECORD*>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakePage page;
        fillDiagram(page);
        std::string out;
        EXPECT_TRUE(page.engine.render(c.text, out));
        EXPECT_EQ(out, c.expected);
        EXPECT_TRUE(page.errors.empty());
    }
}

TEST(TemplateEngine, UnsetVariableAddsNoEntry) {
    FakePage page;
    std::string out;
    ASSERT_TRUE(page.engine.render("*A* *A*", out));
    EXPECT_TRUE(page.engine.variables().empty());
    EXPECT_EQ(page.engine.variableValue("* A *"), "");
}

TEST(TemplateEngine, BadBlocksFailWithMessageAndKeepEarlierOutput) {
    struct Failure {
        const char* name;
        std::string text;
        std::string output;
        std::string message;
    };
    const std::string prefix = "Template sintax error: can't find close tag for '";
    const std::vector<Failure> cases = {
        {"no close tag", "ab<*FOO*>cd*X*", "ab", prefix + "<*FOO*>'"},
        {"close tag of another name", "ab<* FOO *>cd</*BAR*>", "ab", prefix + "<* FOO *>'"},
        {"empty name, bare", "a<*>b</*>", "a", prefix + "<*>'"},
        {"empty name, blanks", "a<* *>b</* *>", "a", prefix + "<* *>'"},
        // The first close tag of a name ends the block, so the inner open tag is left without
        // one when the block is rendered for the first row.
        {"same name cannot nest",
         "<*GROUPRECORD*>(<*GROUPRECORD*>x</*GROUPRECORD*>)</*GROUPRECORD*>", "(",
         prefix + "<*GROUPRECORD*>'"},
        {"unclosed block inside a row", "<*GROUPRECORD*>*GROUPNAME*<*DATA*></*GROUPRECORD*>z", "a",
         prefix + "<*DATA*>'"},
    };
    for (const Failure& c : cases) {
        SCOPED_TRACE(c.name);
        FakePage page;
        fillDiagram(page);
        std::string out;
        EXPECT_FALSE(page.engine.render(c.text, out));
        EXPECT_EQ(out, c.output);
        EXPECT_EQ(page.errors, std::vector<std::string>{c.message});
    }
}

TEST(TemplateEngine, FailingExpandStopsRenderingWithoutEngineMessage) {
    FakePage page;
    fillDiagram(page);
    page.failKind = RecordKind::FilterRecord;
    std::string out;
    EXPECT_FALSE(page.engine.render(
        "<*GROUPRECORD*>*GROUPNAME*<*FILTERRECORD*></*FILTERRECORD*></*GROUPRECORD*>after", out));
    EXPECT_EQ(out, "a");
    EXPECT_TRUE(page.errors.empty());
}

TEST(TemplateEngine, ValuesAreHtmlEscapedUnlessMarkedRaw) {
    FakePage page;
    page.engine.setVariable("NAME", "<script>alert('x')</script> & \"q\"");
    page.engine.setVariable("CHECKED", "checked");
    page.engine.setVariable("ESCAPED", "Web%20log%20%31");
    page.engine.setRawVariable("SCRIPT", "<b class=\"c\">&amp;</b>");
    std::string out;
    ASSERT_TRUE(
        page.engine.render("<p title=\"*NAME*\">*NAME*</p> *CHECKED* *ESCAPED* *SCRIPT*", out));
    const std::string name = "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt; &amp; &quot;q&quot;";
    EXPECT_EQ(out, "<p title=\"" + name + "\">" + name +
                       "</p> checked Web%20log%20%31 <b class=\"c\">&amp;</b>");
    EXPECT_EQ(page.engine.variableValue("*SCRIPT*"), "<b class=\"c\">&amp;</b>");

    // Setting the value again through setVariable drops the raw mark.
    page.engine.setVariable("SCRIPT", "<i>");
    out.clear();
    ASSERT_TRUE(page.engine.render("*SCRIPT*", out));
    EXPECT_EQ(out, "&lt;i&gt;");
}

TEST(TemplateEngine, RowValuesAreEscapedToo) {
    FakePage page;
    page.rows[RecordKind::GroupRecord] = {{{"GROUPNAME", "a<b"}}, {{"GROUPNAME", "'"}}};
    std::string out;
    ASSERT_TRUE(page.engine.render("<*GROUPRECORD*>[*GROUPNAME*]</*GROUPRECORD*>", out));
    EXPECT_EQ(out, "[a&lt;b][&#39;]");
}

// Nested blocks of different names that all name GROUPRECORD: "<*GROUPRECORD0*>" ...
std::string nestedGroups(int depth, const std::string& inner) {
    std::string text;
    for (int i = 0; i < depth; ++i) text += "<*GROUPRECORD" + std::to_string(i) + "*>";
    text += inner;
    for (int i = depth - 1; i >= 0; --i) text += "</*GROUPRECORD" + std::to_string(i) + "*>";
    return text;
}

TEST(TemplateEngine, DeepNestingStopsWithMessage) {
    FakePage page;
    page.rows[RecordKind::GroupRecord] = {{{"GROUPNAME", "g"}}};
    std::string out;
    ASSERT_TRUE(page.engine.render(
        nestedGroups(static_cast<int>(TemplateEngine::kMaxNesting), "*GROUPNAME*"), out));
    EXPECT_EQ(out, "g");

    out.clear();
    EXPECT_FALSE(page.engine.render(
        nestedGroups(static_cast<int>(TemplateEngine::kMaxNesting) + 1, "*GROUPNAME*"), out));
    ASSERT_EQ(page.errors.size(), 1u);
    EXPECT_EQ(page.errors[0],
              "Template error: record blocks nested more than 32 deep at "
              "'<*GROUPRECORD32*>'");
}

TEST(TemplateEngine, ExponentialRepetitionStopsAtWorkLimit) {
    FakePage page;
    page.rows[RecordKind::GroupRecord] = {Row{}, Row{}, Row{}};
    page.engine.setWorkLimit(1 << 20);
    std::string out;
    // 3^30 repetitions of the innermost block if nothing stopped it.
    EXPECT_FALSE(page.engine.render(nestedGroups(30, "x"), out));
    ASSERT_EQ(page.errors.size(), 1u);
    EXPECT_EQ(page.errors[0],
              "Template error: record blocks repeat more than 1048576 bytes of template text");
    EXPECT_LE(out.size(), std::size_t{1} << 20);

    // The budget belongs to one top-level render: a fresh render starts from zero.
    page.rows[RecordKind::GroupRecord] = {Row{}};
    out.clear();
    EXPECT_TRUE(page.engine.render(nestedGroups(30, "x"), out));
    EXPECT_EQ(out, "x");
}

TEST(TemplateEngine, ReadTemplateFileKeepsChunksUpToNul) {
    test::TempDir dir;
    for (const std::size_t size :
         {std::size_t{4095}, std::size_t{4096}, std::size_t{4097}, std::size_t{3 * 4096 + 5}}) {
        SCOPED_TRACE(size);
        std::string bytes(size, 'a');
        for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + i % 26);
        test::writeFile(dir.file("t.html"), bytes);
        std::string text = "keep:";
        ASSERT_TRUE(readTemplateFile(dir.file("t.html"), text));
        EXPECT_EQ(text, "keep:" + bytes);
    }

    // A NUL ends what is taken from its chunk; the next chunk is read whole.
    std::string bytes = std::string(10, 'a') + '\0' + std::string(4096 - 11, 'b') + "tail";
    test::writeFile(dir.file("nul.html"), bytes);
    std::string text;
    ASSERT_TRUE(readTemplateFile(dir.file("nul.html"), text));
    EXPECT_EQ(text, std::string(10, 'a') + "tail");

    text = "x";
    EXPECT_FALSE(readTemplateFile(dir.file("missing.html"), text));
    EXPECT_FALSE(readTemplateFile(dir.path().string(), text));  // a folder
    EXPECT_EQ(text, "x");
}

TEST(TemplateEngine, ReadTemplateFileReadsEditsAnewAndNeverFollowsALink) {
    test::TempDir dir;
    test::TempDir outside;
    test::writeFile(outside.file("t.html"), "secret");
    std::filesystem::create_directory(dir.file("pages"));
    const std::string path = dir.file("pages") + "/t.html";
    for (const char* content : {"first", "edited, and longer"}) {
        test::writeFile(path, content);
        std::string text;
        ASSERT_TRUE(readTemplateFile(path, text));
        EXPECT_EQ(text, content);
    }
    // The folder swapped for a link to one outside after it was found, or the file for a
    // link: refused, not followed.
    std::filesystem::rename(dir.file("pages"), dir.file("old"));
    std::filesystem::create_directory_symlink(outside.path(), dir.file("pages"));
    std::filesystem::create_symlink(outside.file("t.html"), dir.file("link.html"));
    for (const std::string& linked : {path, dir.file("link.html")}) {
        std::string text;
        EXPECT_FALSE(readTemplateFile(linked, text)) << linked;
        EXPECT_EQ(text, "");
    }
}

TEST(TemplateEngine, ProcessTemplateReadsFilePreparesAndRenders) {
    test::TempDir dir;
    test::writeFile(dir.file("edit.html"), "<h1>*X*</h1><*GROUPRECORD*>*GROUPNAME*</*GROUPRECORD*>");
    const std::string folder = dir.path().string() + "/";
    {
        FakePage page;
        fillDiagram(page);
        std::string out;
        EXPECT_TRUE(page.engine.processTemplate(
            {{"TEMPLATE_PATH", folder}, {"TEMPLATE_NAME", "edit"}}, out));
        EXPECT_EQ(out, "<h1>1</h1>ab");
        EXPECT_EQ(page.prepareCalls, 1);
    }
    {
        SCOPED_TRACE("prepare fails: nothing rendered, no engine message");
        FakePage page;
        std::string out;
        EXPECT_FALSE(page.engine.processTemplate(
            {{"TEMPLATE_PATH", folder}, {"TEMPLATE_NAME", "edit"}, {"fail", ""}}, out));
        EXPECT_EQ(out, "");
        EXPECT_TRUE(page.errors.empty());
    }
    {
        SCOPED_TRACE("missing template: prepare (and so the action) never runs");
        FakePage page;
        std::string out;
        EXPECT_FALSE(page.engine.processTemplate(
            {{"TEMPLATE_PATH", folder}, {"TEMPLATE_NAME", "index"}}, out));
        EXPECT_EQ(page.prepareCalls, 0);
        EXPECT_EQ(page.errors,
                  std::vector<std::string>{"Can't open file '" + folder + "index.html'"});
    }
    {
        SCOPED_TRACE("missing error template: empty body, success");
        FakePage page;
        std::string out;
        EXPECT_TRUE(page.engine.processTemplate(
            {{"TEMPLATE_PATH", folder}, {"TEMPLATE_NAME", "error"}}, out));
        EXPECT_EQ(out, "");
        EXPECT_EQ(page.prepareCalls, 0);
        EXPECT_TRUE(page.errors.empty());
    }
}

TEST(TemplateEngine, FindRecordKindTriesNamesInPageOrder) {
    EXPECT_EQ(findRecordKind("<*DATAGROUPRECORD*>", {RecordKind::GroupRecord, RecordKind::Data}),
              RecordKind::GroupRecord);
    EXPECT_EQ(findRecordKind("<*DATAGROUPRECORD*>", {RecordKind::Data, RecordKind::GroupRecord}),
              RecordKind::Data);
    EXPECT_EQ(findRecordKind("<*FILTERRESULTRECORD*>", {RecordKind::FilterRecord}),
              RecordKind::None);
    EXPECT_EQ(findRecordKind("<*groupRecord*>", {RecordKind::GroupRecord}), RecordKind::None);
    EXPECT_EQ(findRecordKind("<**>", {RecordKind::None}), RecordKind::None);
    EXPECT_EQ(findRecordKind("<*XDIAGRAMRECORDX*>", {RecordKind::DiagramRecord}),
              RecordKind::DiagramRecord);
}

}  // namespace
}  // namespace tg
