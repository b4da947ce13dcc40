#include <gtest/gtest.h>

#include <string>

#include "config/config_key.h"
#include "diagram/item_kind.h"
#include "page_fixture.h"

namespace tg {
namespace {

constexpr const char* kEdit =
    "*DIAGRAMNAME*|*DIAGRAMNAMEESCAPED*|*DATASOURCENAME*"
    "<*GROUPRECORD*>|G:*GROUPNAME*,*GROUPFIELDNAME*,*GROUPREGEXP*</*GROUPRECORD*>"
    "<*FILTERRECORD*>|F:*FILTERNAME*,*FILTERFIELDNAME*,*FILTERREGEXP*,*FILTERINV*"
    "</*FILTERRECORD*>"
    "<*AXISRECORD*>|A:*AXISNAME*,*AXISFIELDNAME*,*AXISREGEXP*,*AXISOPER*</*AXISRECORD*>";

class DiagramEditPageTest : public test::PageFixture {
protected:
    DiagramEditPageTest() { writeTemplate("edit", kEdit); }

    std::string edit(const std::string& query) { return run("edit", query); }
};

TEST_F(DiagramEditPageTest, NewTakesTheFirstFreeDiagramName) {
    EXPECT_EQ(edit("action=new&name=ignored"), "Diagram|Diagram|");
    EXPECT_TRUE(stored("Diagram"));
    EXPECT_EQ(edit("action=new"), "Diagram 2|Diagram%20%32|");
    // The store keeps names apart without regard to case: "diagram 3" takes "Diagram 3".
    addDiagram("diagram 3");
    EXPECT_EQ(edit("action=new"), "Diagram 4|Diagram%20%34|");
    EXPECT_EQ(m_diagrams.names().size(), 4u);
}

TEST_F(DiagramEditPageTest, CreatedItemsTakeDefaultNamesTheFirstFieldAndMatchAll) {
    addDiagram("d");
    edit("name=d&action=create_group");
    edit("name=d&action=create_group");
    edit("name=d&action=create_filter");
    EXPECT_EQ(edit("name=d&action=create_axis"),
              "d|d|web|G:Group,status,.*|G:Group 2,status,.*|F:Filter,status,.*,"
              "|A:Axis,status,.*,UNDEFINED");
    EXPECT_TRUE(stored("d\\groups\\Group 2"));
    EXPECT_TRUE(stored("d\\yaxises\\Axis"));
    edit("name=d&action=delete_group&group_name=Group");
    EXPECT_EQ(edit("name=d&action=create_group"),
              "d|d|web|G:Group 2,status,.*|G:Group,status,.*|F:Filter,status,.*,"
              "|A:Axis,status,.*,UNDEFINED");

    // Without fields (an unknown source) the field is "undefined".
    (void)addDiagram("e")->setDataSource("nowhere");
    EXPECT_EQ(edit("name=e&action=create_filter"), "e|e|nowhere|F:Filter,undefined,.*,");
}

TEST_F(DiagramEditPageTest, ChangesNeedTheirParametersAndCreateUnknownItems) {
    addDiagram("d");
    edit("name=d&action=create_filter");
    edit("name=d&action=create_axis");
    const std::string before = edit("name=d");
    EXPECT_EQ(edit("name=d&action=change_filter_regexp&filter_name=Filter&filter_regexp="), before);
    EXPECT_EQ(edit("name=d&action=change_filter_field&filter_name=Filter"), before);
    EXPECT_EQ(edit("name=d&action=change_filter_invert&filter_name=Filter"), before);
    EXPECT_EQ(edit("name=d&action=change_axis_oper&axis_name=Axis&axis_oper=MEDIAN"), before);
    EXPECT_EQ(edit("name=d&action=change_axis_oper&axis_name=Axis&axis_oper=count"), before);
    EXPECT_EQ(edit("name=d&action=no_such_action"), before);

    EXPECT_EQ(edit("name=d&action=change_filter_invert&filter_name=Filter&filter_invert=1"),
              "d|d|web|F:Filter,status,.*,checked|A:Axis,status,.*,UNDEFINED");
    EXPECT_EQ(edit("name=d&action=change_filter_invert&filter_name=Filter&filter_invert=abc"),
              before);
    edit("name=d&action=change_filter_invert&filter_name=Filter&filter_invert=1");
    EXPECT_EQ(edit("name=d&action=change_filter_invert&filter_name=Filter&filter_invert="), before);
    EXPECT_EQ(edit("name=d&action=change_axis_oper&axis_name=Axis&axis_oper=COUNT"),
              "d|d|web|F:Filter,status,.*,|A:Axis,status,.*,COUNT");
    EXPECT_EQ(edit("name=d&action=change_axis_field&axis_name=Axis&field_name=bytes"),
              "d|d|web|F:Filter,status,.*,|A:Axis,bytes,.*,COUNT");
    EXPECT_EQ(edit("name=d&action=change_axis_regexp&axis_name=Axis&axis_regexp=%5B0-9%5D%2B"),
              "d|d|web|F:Filter,status,.*,|A:Axis,bytes,[0-9]+,COUNT");

    // A change of an unknown item creates it with that property only; not under a name the
    // store could not keep apart from another item's.
    EXPECT_EQ(edit("name=d&action=change_group_regexp&group_name=g&group_regexp=x"),
              "d|d|web|G:g,,x|F:Filter,status,.*,|A:Axis,bytes,[0-9]+,COUNT");
    const std::string withGroup = edit("name=d");
    EXPECT_EQ(edit("name=d&action=change_group_field&group_name=G&field_name=bytes"), withGroup);
    EXPECT_EQ(edit("name=d&action=change_group_field&group_name=a%5Cb&field_name=bytes"),
              withGroup);
    EXPECT_FALSE(stored("d\\groups\\a"));
}

TEST_F(DiagramEditPageTest, RenamesRefuseNamesTheStoreCannotKeepApart) {
    addDiagram("d");
    edit("name=d&action=create_group");
    edit("name=d&action=create_group");
    const std::string before = edit("name=d");
    ASSERT_EQ(before, "d|d|web|G:Group,status,.*|G:Group 2,status,.*");
    for (const char* newName : {"Group%202", "group%202", "", "a%5Cb", "Group"}) {
        SCOPED_TRACE(newName);
        EXPECT_EQ(edit(std::string("name=d&action=rename_group&old_group_name=Group&"
                                   "new_group_name=") +
                       newName),
                  before);
    }
    EXPECT_EQ(edit("name=d&action=rename_group&old_group_name=Group"), before);
    EXPECT_EQ(edit("name=d&action=rename_group&old_group_name=Group&new_group_name=GROUP"),
              "d|d|web|G:GROUP,status,.*|G:Group 2,status,.*");
    EXPECT_EQ(edit("name=d&action=rename_group&old_group_name=GROUP&new_group_name=status"),
              "d|d|web|G:status,status,.*|G:Group 2,status,.*");
    EXPECT_TRUE(stored("d\\groups\\status"));
    EXPECT_FALSE(stored("d\\groups\\GROUP"));

    // Diagrams: another diagram's name, in any case, would share its stored tree.
    addDiagram("other");
    const std::string renamed = edit("name=d");
    for (const char* newName : {"other", "OTHER", "", "x%5Cy"}) {
        SCOPED_TRACE(newName);
        EXPECT_EQ(edit(std::string("name=d&action=rename_diagram&new_name=") + newName), renamed);
    }
    EXPECT_FALSE(stored("other\\groups"));
    EXPECT_EQ(edit("name=d&action=rename_diagram&new_name=D%202").substr(0, 12), "D 2|D%20%32|");
    EXPECT_TRUE(stored("D 2\\groups\\status"));
    EXPECT_FALSE(stored("d"));
    EXPECT_EQ(edit("name=d"), "ERROR[Can&#39;t find diagram &#39;d&#39;][index.html]");
}

TEST_F(DiagramEditPageTest, DataSourceChangeIsSavedAndStartsTheDiagram) {
    DiagramHandle diagram = addDiagram("d");
    (void)diagram->setDataSource("nowhere");
    (void)m_sources.create("other");
    EXPECT_EQ(edit("name=d&action=change_datasource"), "d|d|nowhere");
    EXPECT_EQ(edit("name=d&action=change_datasource&datasource_name=other"), "d|d|other");
    EXPECT_TRUE(diagram->isRunning());
    ConfigKey key(m_store);
    ASSERT_TRUE(key.openExisting("\\diagrams\\d"));
    EXPECT_EQ(key.getString("datasource", ""), "other");
}

// Every kind's actions, named after its word, reach that kind's items and no other's.
TEST_F(DiagramEditPageTest, EachKindsActionsReachOnlyItsItems) {
    DiagramHandle diagram = addDiagram("d");
    for (const ItemKind* kind : kItemKinds) {
        SCOPED_TRACE(kind->word);
        const std::string word(kind->word);
        const std::string base = "name=d&" + word + "_name=" + word;
        edit("name=d&action=create_" + word);
        edit("name=d&action=rename_" + word + "&old_" + word +
             "_name=" + std::string(kind->baseName) + "&new_" + word + "_name=" + word);
        edit(base + "&action=change_" + word + "_field&field_name=bytes");
        edit(base + "&action=change_" + word + "_regexp&" + word + "_regexp=" + word);
        ItemDefinition item;
        ASSERT_EQ(diagram->getItem(*kind, word, item), 0);
        EXPECT_EQ(item.field + " " + item.regexp, "bytes " + word);
        for (const ItemKind* other : kItemKinds) {
            EXPECT_EQ(diagram->itemNames(*other).size(), other == kind ? 1u : 0u);
        }
        edit(base + "&action=delete_" + word);
        EXPECT_EQ(edit("name=d"), "d|d|web");
    }
}

TEST_F(DiagramEditPageTest, DeletesAndTheMissingDiagram) {
    addDiagram("d");
    edit("name=d&action=create_group");
    edit("name=d&action=create_filter");
    edit("name=d&action=create_axis");
    EXPECT_EQ(edit("name=d&action=delete_filter&filter_name=nope"),
              "d|d|web|G:Group,status,.*|F:Filter,status,.*,|A:Axis,status,.*,UNDEFINED");
    edit("name=d&action=delete_filter&filter_name=Filter");
    edit("name=d&action=delete_axis&axis_name=Axis");
    EXPECT_EQ(edit("name=d&action=delete_group&group_name=Group"), "d|d|web");
    EXPECT_FALSE(stored("d\\filters\\Filter"));

    EXPECT_EQ(edit("name=nope"), "ERROR[Can&#39;t find diagram &#39;nope&#39;][index.html]");
    EXPECT_EQ(edit("action=create_group"), "ERROR[Can&#39;t find diagram &#39;&#39;][index.html]");
    EXPECT_EQ(m_diagrams.names().size(), 1u);
}

}  // namespace
}  // namespace tg
