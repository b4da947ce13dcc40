// A picture of every window and page of the desktop program, on a real X server (Xvfb), written
// as PNG files to the folder named on the command line, for a person to look at.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <fstream>

#include "desktop/desktop_start.h"
#include "desktop/diagram_editor.h"
#include "desktop/regexp_dialog.h"
#include "desktop/source_editor.h"
#include "desktop/tray.h"
#include "desktop/user_editor.h"
#include "desktop_fixture.h"

namespace tg {
namespace {

QString g_folder;

void shoot(QWidget& window, const QString& name) {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(50);  // lets the last layout pass paint
    const QString path = g_folder + '/' + name + QStringLiteral(".png");
    ASSERT_TRUE(window.grab().save(path)) << path.toStdString();
}

TEST(Screenshots, EveryWindowAndPage) {
    test::DesktopFixture fixture;
    (void)fixture.app().accounts().saveAccount("admin", std::string_view("x"),
                                               AccountType::EditPermission);
    (void)fixture.app().accounts().saveAccount("viewer", std::string_view("y"),
                                               AccountType::ViewOnly);
    Panel panel(fixture.parts(), fixture.prompts, true);
    panel.showPage(Panel::kDiagrams);
    shoot(panel, "panel-diagrams");
    panel.showPage(Panel::kSources);
    shoot(panel, "panel-datasource");
    panel.showPage(Panel::kSettings);
    shoot(panel, "panel-settings");
    panel.hide();

    {
        SourceHandle source = fixture.app().sources().acquire("web");
        SourceEditor editor(fixture.app().sources(), *source, fixture.prompts);
        std::ofstream(fixture.file("access.log"), std::ios::app) << "301 8\nbroken line\n";
        auto* records = editor.findChild<QTreeWidget*>("Source monitor");
        EXPECT_TRUE(test::waitUntil([&] {
            editor.showMonitor();
            return records->topLevelItemCount() >= 2;
        }));
        shoot(editor, "source-editor");
    }
    {
        DiagramHandle diagram = fixture.app().diagrams().acquire("by status");
        DiagramEditor editor(fixture.app().diagrams(), fixture.app().sources(), *diagram,
                             fixture.prompts);
        shoot(editor, "diagram-editor");
    }
    {
        RegexpDialog dialog(QStringLiteral("^([0-9]+) ([0-9]+)$"));
        dialog.findChild<QPlainTextEdit*>("Data sample")->setPlainText("200 1024");
        dialog.test();
        shoot(dialog, "regexp-test");
    }
    {
        UserEditor editor(fixture.app().accounts(), "admin", fixture.prompts);
        shoot(editor, "user-editor");
    }
    Tray tray(panel, fixture.prompts, [] {});
    QMenu menu;
    tray.fillMenu(menu);
    shoot(menu, "tray-menu");
    tray.showAbout();
    QWidget* about = nullptr;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->windowTitle() == QStringLiteral("About") && window->isVisible()) about = window;
    }
    ASSERT_NE(about, nullptr);
    shoot(*about, "about");
    about->close();
}

}  // namespace
}  // namespace tg

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    tg::keepByteLocale();
    tg::g_folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    QDir().mkpath(tg::g_folder);
    return RUN_ALL_TESTS();
}
