// The DataSource and Diagrams pages' commands on a running program: their questions' Yes and No
// paths, the refusals, and export followed by import of both kinds.

#include <gtest/gtest.h>

#include <QFile>
#include <QPushButton>
#include <QTest>

#include "datasource/source_exchange.h"
#include "desktop/diagrams_page.h"
#include "desktop/sources_page.h"
#include "desktop_fixture.h"
#include "diagram/diagram_exchange.h"

namespace tg {
namespace {

void run(ListPage& page, const std::string& row, const char* command) {
    page.select(row);
    ASSERT_EQ(page.selectedName(), row);
    QPushButton* button = page.findChild<QPushButton*>(QString::fromLatin1(command));
    ASSERT_NE(button, nullptr) << command;
    QTest::mouseClick(button, Qt::LeftButton);
}

std::vector<std::string> rows(ListPage& page) {
    std::vector<std::string> names;
    for (int row = 0; row < page.list().topLevelItemCount(); ++row) {
        names.push_back(page.list().topLevelItem(row)->text(0).toStdString());
    }
    return names;
}

TEST(SourcesPage, CommandsAskFirstAndABoundSourceIsNeitherDeletedNorEditedUnasked) {
    test::DesktopFixture fixture;
    test::FakePrompts& prompts = fixture.prompts;
    SourceManager& sources = fixture.app().sources();
    SourcesPage page(sources, prompts);
    EXPECT_EQ(rows(page), std::vector<std::string>{"web"});
    EXPECT_EQ(page.list().topLevelItem(0)->checkState(1), Qt::Checked);

    prompts.answers = {false, true};
    run(page, "web", "Delete");
    run(page, "web", "Delete");
    EXPECT_EQ(prompts.asked, std::vector<std::string>(2, "Delete data source?"));
    EXPECT_EQ(prompts.told, std::vector<std::string>{"Data source can not be deleted: it is "
                                                     "binded to one or more diagrams. "});
    EXPECT_TRUE(sources.acquire("web"));

    run(page, "web", "Clone");
    run(page, "web", "Clone");
    EXPECT_EQ(rows(page), (std::vector<std::string>{"web", "web_copy", "web_copy2"}));
    EXPECT_EQ(sources.acquire("web_copy")->regexp(), sources.acquire("web")->regexp());
    EXPECT_EQ(sources.acquire("web_copy")->listenerCount(), 0u);
    prompts.answers = {true};
    run(page, "web_copy2", "Delete");
    EXPECT_EQ(rows(page), (std::vector<std::string>{"web", "web_copy"}));

    prompts.asked.clear();
    prompts.answers = {false, false};
    run(page, "web", "Reset");
    run(page, "web", "Rebuild");
    EXPECT_EQ(prompts.asked,
              (std::vector<std::string>{"Reset DataSource and all the linked Diagrams?",
                                        "Restart DataSource and all the linked Diagrams?"}));

    // Edit of a source that diagrams use: No keeps them running, Yes stops them first.
    prompts.asked.clear();
    prompts.answers = {false, true};
    run(page, "web", "Edit");
    EXPECT_EQ(prompts.editorsRun, 0);
    EXPECT_EQ(sources.acquire("web")->listenerCount(), 2u);
    run(page, "web", "Edit");
    EXPECT_EQ(prompts.editorsRun, 1);
    EXPECT_EQ(prompts.asked[0],
              "The DataSource is used for one or more Diagrams\nTo Edit "
              "DataSource you need to stop all the Diagrams\nContinue ?");
    EXPECT_EQ(sources.acquire("web")->listenerCount(), 0u);
    EXPECT_EQ(page.list().topLevelItem(0)->checkState(1), Qt::Unchecked);

    // New: a cancelled editor leaves nothing behind.
    page.findChild<QPushButton*>("New")->click();
    EXPECT_EQ(rows(page), (std::vector<std::string>{"web", "web_copy"}));
}

TEST(DiagramsPage, StartStopCloneResetRebuildAndDelete) {
    test::DesktopFixture fixture;
    test::FakePrompts& prompts = fixture.prompts;
    DiagramManager& diagrams = fixture.app().diagrams();
    DiagramsPage page(diagrams, fixture.app().sources(), fixture.app().store(), prompts);
    EXPECT_EQ(rows(page), (std::vector<std::string>{"by status", "total"}));

    run(page, "total", "Start/Stop");
    EXPECT_FALSE(diagrams.acquire("total")->isRunning());
    EXPECT_EQ(page.list().topLevelItem(1)->checkState(1), Qt::Unchecked);
    run(page, "total", "Start/Stop");
    EXPECT_TRUE(diagrams.acquire("total")->isRunning());

    run(page, "by status", "Clone");
    {
        DiagramHandle copy = diagrams.acquire("by status_copy");
        ASSERT_TRUE(copy);
        EXPECT_EQ(copy->dataSourceName(), "web");
        for (const ItemKind* kind : kItemKinds) {
            EXPECT_EQ(copy->items(*kind).size(),
                      diagrams.acquire("by status")->items(*kind).size());
        }
        EXPECT_EQ(copy->itemNames(kAxisKind), (std::vector<std::string>{"bytes", "requests"}));
        EXPECT_TRUE(copy->isRunning());
    }

    prompts.answers = {false, false, false, true};
    run(page, "total", "Reset");
    run(page, "total", "Rebuild");
    run(page, "by status_copy", "Delete");
    EXPECT_TRUE(diagrams.acquire("by status_copy"));
    run(page, "by status_copy", "Delete");
    EXPECT_FALSE(diagrams.acquire("by status_copy"));
    EXPECT_EQ(prompts.asked,
              (std::vector<std::string>{"Reset Diagram Data?", "Rebuild Diagram Data?",
                                        "Delete diagram?", "Delete diagram?"}));
}

TEST(Pages, ExportThenImportOfSourcesAndDiagramsWithTheirQuestions) {
    test::DesktopFixture fixture;
    test::FakePrompts& prompts = fixture.prompts;
    SourcesPage sourcesPage(fixture.app().sources(), prompts);
    DiagramsPage diagramsPage(fixture.app().diagrams(), fixture.app().sources(),
                              fixture.app().store(), prompts);

    const QString sourceFile = QString::fromStdString(fixture.file("web.xml"));
    prompts.chosenFile = sourceFile;
    run(sourcesPage, "web", "Export");
    ASSERT_TRUE(QFile::exists(sourceFile));
    EXPECT_EQ(prompts.filters.back(), "XML Files (*.xml);;All Files (*)");
    run(sourcesPage, "web", "Export");  // No: the file stays
    EXPECT_EQ(prompts.asked.back(), "File already exists. Rewrite?");

    // The imported source exists and diagrams use it: Yes is refused.
    prompts.answers = {true};
    sourcesPage.findChild<QPushButton*>("Import")->click();
    EXPECT_EQ(prompts.asked.back(), rewriteSourceQuestion("web"));
    EXPECT_EQ(prompts.told.back(), kSourceImportRefusal);

    const QString diagramFile = QString::fromStdString(fixture.file("total.xml"));
    prompts.chosenFile = diagramFile;
    run(diagramsPage, "total", "Export");
    prompts.answers = {true};
    run(diagramsPage, "total", "Delete");
    ASSERT_FALSE(fixture.app().diagrams().acquire("total"));
    diagramsPage.findChild<QPushButton*>("Import")->click();
    EXPECT_EQ(rows(diagramsPage), (std::vector<std::string>{"by status", "total"}));
    EXPECT_EQ(diagramsPage.selectedName(), "total");
    prompts.answers = {true};
    diagramsPage.findChild<QPushButton*>("Import")->click();
    EXPECT_EQ(prompts.asked.back(), rewriteDiagramQuestion("total"));
    DiagramHandle imported = fixture.app().diagrams().acquire("total");
    ASSERT_TRUE(imported);
    EXPECT_EQ(imported->dataSourceName(), "web");

    // A file that is not a definition is told, and nothing changes.
    QFile bad(QString::fromStdString(fixture.file("bad.xml")));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("<nothing/>");
    bad.close();
    prompts.chosenFile = bad.fileName();
    const std::size_t told = prompts.told.size();
    sourcesPage.findChild<QPushButton*>("Import")->click();
    EXPECT_EQ(prompts.told.size(), told + 1);
    EXPECT_EQ(rows(sourcesPage), std::vector<std::string>{"web"});
}

}  // namespace
}  // namespace tg
