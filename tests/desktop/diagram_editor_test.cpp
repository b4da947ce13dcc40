// The diagram editor on a live diagram: Ok's checks in order, item changes applied at once
// with their questions, and a name that the kind's other items already have refused.

#include "desktop/diagram_editor.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include "desktop/item_table.h"
#include "desktop_fixture.h"

namespace tg {
namespace {

TEST(DiagramEditor, OkChecksInOrderAndItemChangesReachTheLiveDiagram) {
    test::DesktopFixture fixture;
    test::FakePrompts& prompts = fixture.prompts;
    DiagramManager& diagrams = fixture.app().diagrams();
    ASSERT_EQ(diagrams.create("draft"), 0);
    DiagramHandle diagram = diagrams.acquire("draft");
    DiagramEditor editor(diagrams, fixture.app().sources(), *diagram, prompts);
    auto* name = editor.findChild<QLineEdit*>("Name");

    name->clear();
    editor.accept();
    name->setText("TOTAL");  // another diagram's name but for case
    editor.accept();
    name->setText("mine");
    editor.accept();
    EXPECT_EQ(prompts.told, (std::vector<std::string>{"Plese fill diagram name",
                                                      "Diagram with such name already exists",
                                                      "Please choose data source"}));
    EXPECT_EQ(editor.result(), QDialog::Rejected);

    editor.findChild<QComboBox*>("DataSource")->setCurrentText("web");
    EXPECT_EQ(diagram->dataSourceName(), "web");

    ItemTable& groups = editor.items(ItemType::Group);
    groups.insertItem();
    groups.insertItem();
    EXPECT_EQ(diagram->itemNames(kGroupKind), (std::vector<std::string>{"Group", "Group 2"}));
    EXPECT_EQ(groups.table().item(0, 1)->text(), "status");  // the source's first field
    groups.table().item(1, 0)->setText("group");             // Group's name but for case
    EXPECT_EQ(prompts.told.back(), "Group names arn't unique");
    EXPECT_EQ(groups.table().item(1, 0)->text(), "Group 2");
    groups.table().item(1, 2)->setText("^4");
    ItemDefinition changed;
    ASSERT_EQ(diagram->getItem(kGroupKind, "Group 2", changed), 0);
    EXPECT_EQ(changed.regexp, "^4");

    prompts.answers = {false, true};
    groups.table().selectRow(0);
    groups.deleteItem();
    groups.deleteItem();
    EXPECT_EQ(prompts.asked, (std::vector<std::string>{"Delete group?", "Delete group?"}));
    EXPECT_EQ(diagram->itemNames(kGroupKind), std::vector<std::string>{"Group 2"});

    prompts.answers = {false};
    editor.monitor();
    EXPECT_EQ(prompts.asked.back(),
              "All the Diagram's Data will be reset. Continue?\nRebuild the Diagram later");

    editor.accept();
    EXPECT_EQ(editor.result(), QDialog::Accepted);
    EXPECT_EQ(diagram->name(), "mine");
    diagram.release();
    EXPECT_TRUE(diagrams.acquire("mine"));
    EXPECT_FALSE(diagrams.acquire("draft"));
}

}  // namespace
}  // namespace tg
