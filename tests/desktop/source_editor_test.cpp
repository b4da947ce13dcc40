// The data source editor: Ok's checks in order with their messages and focus, the monitor's
// cap under a flood from a reader thread, and trying fields on the live source.

#include "desktop/source_editor.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <atomic>
#include <fstream>
#include <thread>

#include "desktop_fixture.h"

namespace tg {
namespace {

template <class W>
W& child(QWidget& parent, const char* name) {
    W* widget = parent.findChild<W*>(QString::fromLatin1(name));
    if (widget == nullptr) throw std::runtime_error(std::string("no control ") + name);
    return *widget;
}

void click(QWidget& parent, const char* name) {
    QTest::mouseClick(&child<QPushButton>(parent, name), Qt::LeftButton);
}

using Told = std::pair<std::string, std::string>;

// Presses Ok; the message told (empty when none) and the name of the control with the focus.
Told pressOk(SourceEditor& editor, test::FakePrompts& prompts) {
    prompts.told.clear();
    click(editor, "Ok");
    const QWidget* focus = editor.focusWidget();
    return {prompts.told.empty() ? std::string() : prompts.told.back(),
            focus == nullptr ? std::string() : focus->objectName().toStdString()};
}

TEST(SourceEditor, OkStopsAtTheFirstFailingCheckWithItsMessageAndFocus) {
    test::DesktopFixture fixture;
    SourceManager& sources = fixture.app().sources();
    ASSERT_EQ(sources.create("draft"), 0);
    SourceHandle source = sources.acquire("draft");
    SourceEditor editor(sources, *source, fixture.prompts);
    editor.show();
    auto& name = child<QLineEdit>(editor, "Name");
    auto& type = child<QComboBox>(editor, "Type");

    name.clear();
    EXPECT_EQ(pressOk(editor, fixture.prompts), Told("Plese fill data source name", "Name"));
    EXPECT_EQ(fixture.prompts.told.size(), 1u);  // that one message and nothing else
    name.setText("WEB");                         // another source's name but for case
    EXPECT_EQ(pressOk(editor, fixture.prompts).first, "Data source with such name already exists");
    name.setText("fresh");
    EXPECT_EQ(pressOk(editor, fixture.prompts),
              Told("Please fill regular expression", "Expressoin"));
    type.setCurrentText("ODBC");  // an ODBC source needs no expression
    EXPECT_EQ(pressOk(editor, fixture.prompts),
              Told("Please fill data source connect parameters", "Data param"));
    type.setCurrentIndex(0);
    child<QLineEdit>(editor, "Expressoin").setText("^(\\S+) (\\S+)$");
    child<QLineEdit>(editor, "Data param").setText(QString::fromStdString(fixture.file("f.log")));
    EXPECT_EQ(pressOk(editor, fixture.prompts),
              Told("Please select data source backup file", "Log Duplicate"));
    child<QLineEdit>(editor, "Log Duplicate")
        .setText(QString::fromStdString(fixture.file("f.dup")));
    EXPECT_EQ(pressOk(editor, fixture.prompts), Told("Please choose data source type", "Type"));
    type.setCurrentText("FILE");
    click(editor, "New");
    click(editor, "New");
    auto& fields = child<QListWidget>(editor, "Fields");
    fields.item(1)->setText("Field 1");
    EXPECT_EQ(pressOk(editor, fixture.prompts), Told("Field names arn't unique", "Fields"));
    EXPECT_EQ(editor.result(), QDialog::Rejected);

    fields.item(1)->setText("size");
    EXPECT_EQ(pressOk(editor, fixture.prompts).first, "");
    EXPECT_EQ(editor.result(), QDialog::Accepted);
    EXPECT_EQ(source->name(), "fresh");
    EXPECT_EQ(source->type(), SourceType::File);
    EXPECT_EQ(source->fieldNames(), (FieldNames{"Field 1", "size"}));
    EXPECT_FALSE(source->hasListener(editor.monitor()));  // Ok lets the source go
}

TEST(SourceEditor, MonitorKeepsTheFifteenNewestRecordsOfAFloodFromAnotherThread) {
    SourceMonitor monitor;
    std::atomic<int> taken{0};
    int sent = 0;
    std::thread reader([&] {
        // Floods until the main thread has taken many snapshots meanwhile.
        for (; taken < 200; ++sent) monitor.observeRecord({std::to_string(sent)}, {"n"});
    });
    // The main thread takes what is there meanwhile, as the editor's timer does.
    while (taken < 200) {
        if (const auto snapshot = monitor.takeIfChanged()) {
            ASSERT_LE(snapshot->records.size(), SourceMonitor::kKept);
            ++taken;
        }
    }
    reader.join();
    monitor.observeRecord({std::to_string(sent)}, {"n"});
    const std::optional<SourceMonitor::Snapshot> last = monitor.takeIfChanged();
    ASSERT_TRUE(last);
    ASSERT_EQ(last->records.size(), SourceMonitor::kKept);
    EXPECT_EQ(last->records.front(), Record{std::to_string(sent - 14)});
    EXPECT_EQ(last->records.back(), Record{std::to_string(sent)});
    EXPECT_FALSE(monitor.takeIfChanged());  // nothing new since
}

TEST(SourceEditor, ShowsTheNewestLinesOfItsRunningSourceErrorsIncluded) {
    test::DesktopFixture fixture;
    SourceHandle source = fixture.app().sources().acquire("web");
    SourceEditor editor(fixture.app().sources(), *source, fixture.prompts);
    {
        std::ofstream log(fixture.file("access.log"), std::ios::app);
        for (int i = 0; i < 20; ++i) log << "500 " << i << "\n";
        log << "not a record\n";
    }
    auto& records = child<QTreeWidget>(editor, "Source monitor");
    ASSERT_TRUE(test::waitUntil([&] {
        editor.showMonitor();
        const int rows = records.topLevelItemCount();
        return rows > 0 && records.topLevelItem(rows - 1)->text(0) == kParseErrorValue;
    }));
    EXPECT_EQ(records.topLevelItemCount(), 15);
    EXPECT_EQ(records.topLevelItem(13)->text(1), "19");
    EXPECT_EQ(records.headerItem()->text(0), "status");
}

TEST(SourceEditor, TriedFieldsReachTheLiveSourceAndCancelPutsTheStoredOnesBack) {
    test::DesktopFixture fixture;
    SourceHandle source = fixture.app().sources().acquire("web");
    const std::string stored = source->regexp();
    {
        SourceEditor editor(fixture.app().sources(), *source, fixture.prompts);
        child<QLineEdit>(editor, "Expressoin").setText("^(x)(y)$");
        click(editor, "Update");
        EXPECT_EQ(source->regexp(), "^(x)(y)$");

        // Browse/Connect: a file for FILE sources, a connection test for the others.
        fixture.prompts.chosenFile = QString::fromStdString(fixture.file("other.log"));
        click(editor, "Browse/Connect");
        EXPECT_EQ(child<QLineEdit>(editor, "Data param").text(), fixture.prompts.chosenFile);
        EXPECT_EQ(fixture.prompts.filters.back(), "All Files (*)");
        child<QComboBox>(editor, "Type").setCurrentText("TCP/IP");
        child<QLineEdit>(editor, "Data param").setText("TCP:127.0.0.1:1");
        click(editor, "Browse/Connect");
        ASSERT_EQ(fixture.prompts.told.size(), 1u);
        EXPECT_NE(fixture.prompts.told[0], "OK");
        child<QLineEdit>(editor, "Data param")
            .setText(QString("TCP:127.0.0.1:%1").arg(fixture.port()));
        click(editor, "Browse/Connect");
        EXPECT_EQ(fixture.prompts.told.back(), "OK");
        editor.reject();
    }
    EXPECT_EQ(source->regexp(), stored);
    EXPECT_EQ(source->type(), SourceType::File);
    EXPECT_EQ(source->connect(), fixture.file("access.log"));
}

}  // namespace
}  // namespace tg
