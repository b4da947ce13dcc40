// The panel, the Settings page and the user editor, the tray menu, the no-tray fallback and the
// second start.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <clocale>

#include "desktop/desktop_start.h"
#include "desktop/settings_page.h"
#include "desktop/tray.h"
#include "desktop/user_editor.h"
#include "desktop_fixture.h"
#include "regex/reg_exp.h"
#include "support/loopback_peer.h"

namespace tg {
namespace {

TEST(SettingsPage, SaveRollsARefusedPortBackAndStoresTheLogSettings) {
    test::DesktopFixture fixture;
    HttpSettings& settings = fixture.app().settings();
    SettingsPage page(settings, fixture.app().server(), fixture.app().accounts(), fixture.prompts);
    EXPECT_EQ(page.port().value(), fixture.port());
    EXPECT_FALSE(page.hasUnsavedChanges());

    const test::ReservedPort busy;
    const UniqueFd otherServer = test::listenLoopback(busy.port(), 1);
    page.port().setValue(busy.port());
    page.findChild<QLineEdit*>("Path")->setText(QString::fromStdString(fixture.file("web.log")));
    EXPECT_TRUE(page.hasUnsavedChanges());
    page.findChild<QPushButton*>("Save")->click();
    ASSERT_EQ(fixture.messages.shown.size(), 1u);
    EXPECT_NE(fixture.messages.shown[0].find(std::to_string(busy.port())), std::string::npos);
    EXPECT_EQ(page.port().value(), fixture.port());
    EXPECT_EQ(fixture.app().server().port(), fixture.port());
    EXPECT_EQ(settings.logPath(), fixture.file("web.log"));
    EXPECT_FALSE(page.hasUnsavedChanges());
}

TEST(Panel, LeavingAPageWithUnsavedChangesAsksWhetherToSaveThem) {
    test::DesktopFixture fixture;
    Panel panel(fixture.parts(), fixture.prompts, true);
    panel.showPage(Panel::kSettings);
    auto* path = panel.settingsPage().findChild<QLineEdit*>("Path");
    const std::string before = fixture.app().settings().logPath();

    path->setText("dropped.log");
    fixture.prompts.answers = {false};
    panel.tabs().setCurrentIndex(Panel::kDiagrams);
    EXPECT_EQ(fixture.prompts.asked, std::vector<std::string>{"Save Chages?"});
    EXPECT_EQ(fixture.prompts.captions, std::vector<std::string>{"Tessellgrove"});
    EXPECT_EQ(fixture.app().settings().logPath(), before);
    EXPECT_EQ(path->text().toStdString(), before);

    panel.showPage(Panel::kSettings);
    path->setText(QString::fromStdString(fixture.file("kept.log")));
    fixture.prompts.answers = {true};
    panel.findChild<QPushButton*>("Close")->click();
    EXPECT_EQ(fixture.app().settings().logPath(), fixture.file("kept.log"));
    EXPECT_TRUE(panel.isHidden());  // the program runs on in the tray
    EXPECT_TRUE(fixture.app().server().listening());

    // Without a tray the panel only goes down to the task bar.
    Panel alone(fixture.parts(), fixture.prompts, false);
    alone.showPage(Panel::kDiagrams);
    alone.close();
    EXPECT_TRUE(alone.isVisible());
    EXPECT_TRUE(alone.isMinimized());
}

std::vector<std::string> menuTexts(Tray& tray) {
    QMenu menu;
    tray.fillMenu(menu);
    std::vector<std::string> texts;
    for (const QAction* action : menu.actions()) texts.push_back(action->text().toStdString());
    return texts;
}

TEST(Tray, MenuLeavesOutExitWhileAnEditorIsOpenAndExitAsksFirst) {
    test::DesktopFixture fixture;
    Panel panel(fixture.parts(), fixture.prompts, true);
    int exits = 0;
    Tray tray(panel, fixture.prompts, [&] { ++exits; });
    EXPECT_EQ(tray.icon().toolTip(), "Tessellgrove");
    EXPECT_EQ(menuTexts(tray),
              (std::vector<std::string>{"About", "Setting", "Show Panel", "", "Help", "Exit"}));
    {
        UserEditor editor(fixture.app().accounts(), "", fixture.prompts);
        EXPECT_EQ(menuTexts(tray).back(), "Help");
    }
    EXPECT_EQ(menuTexts(tray).back(), "Exit");

    fixture.prompts.answers = {false, true};
    tray.askExit();
    EXPECT_EQ(exits, 0);
    tray.askExit();
    EXPECT_EQ(exits, 1);
    EXPECT_EQ(fixture.prompts.asked[0], "Do you want to exit ?");
    EXPECT_EQ(fixture.prompts.captions[0], "Tessellgrove Warning");
}

TEST(DesktopProgram, WithoutATrayThePanelOpensASecondStartShowsItAndExitShutsDown) {
    test::DesktopFixture fixture;
    {
        DesktopProgram alone(fixture.app(), fixture.prompts, false);
        EXPECT_TRUE(alone.panel().isVisible());
        EXPECT_EQ(alone.tray(), nullptr);
    }
    {
        DesktopProgram program(fixture.app(), fixture.prompts, true);
        EXPECT_FALSE(program.panel().isVisible());
        ASSERT_TRUE(askToShowPanel(panelSocketName(fixture.app().lockFile())));
        EXPECT_TRUE(test::waitUntil([&] { return program.panel().isVisible(); }));

        // Exit stops the reactor, which ends Qt's loop; the orderly shutdown follows.
        ASSERT_NE(program.tray(), nullptr);
        fixture.prompts.answers = {true};
        QTimer::singleShot(0, [&] { program.tray()->askExit(); });
        fixture.app().runLoop([] { QApplication::exec(); });
        EXPECT_TRUE(fixture.app().reactor().stopped());
    }
    EXPECT_TRUE(fixture.app().shutDown());
}

TEST(DesktopProgram, ExpressionsKeepTheCompiledEngineAfterQtSetTheLocale) {
    // QApplication takes the locale from the environment, as here.
    ASSERT_NE(std::setlocale(LC_ALL, "C.UTF-8"), nullptr);
    keepByteLocale();
    RegExp expression;
    ASSERT_EQ(expression.compile("^([0-9]+) ([a-z]+)$"), 0);
    EXPECT_TRUE(expression.usesCompiledEngine());
    std::vector<std::string> values;
    EXPECT_EQ(expression.split("200 ok", values), 0);
    EXPECT_EQ(values, (std::vector<std::string>{"200", "ok"}));
}

TEST(UserEditor, ChecksNameAndTypedPasswordsAndKeepsAnUntypedPassword) {
    test::DesktopFixture fixture;
    AccountStore& accounts = fixture.app().accounts();
    ASSERT_EQ(accounts.saveAccount("ann", std::string_view("secret"), AccountType::ViewOnly), 0);
    test::FakePrompts& prompts = fixture.prompts;

    UserEditor editor(accounts, "ann", prompts);
    auto* name = editor.findChild<QLineEdit*>("User");
    auto* password = editor.findChild<QLineEdit*>("Passwrod");
    EXPECT_EQ(password->text(), kPasswordPlaceholder);
    EXPECT_NE(editor.findChild<QLineEdit*>("Pass repeat")->text(), kPasswordPlaceholder);
    name->clear();
    editor.accept();
    name->setText("ann");
    QTest::keyClicks(password, "x");  // typed, and now unlike its repetition
    editor.accept();
    EXPECT_EQ(prompts.told, (std::vector<std::string>{"Please fill user name",
                                                      " Passwords are not equal. Please try "
                                                      "again."}));
    EXPECT_EQ(editor.result(), QDialog::Rejected);

    // Only the permission changes; the password stays what it was.
    UserEditor untyped(accounts, "ann", prompts);
    untyped.findChild<QCheckBox*>("Edit Permission")->setChecked(true);
    untyped.accept();
    EXPECT_EQ(untyped.result(), QDialog::Accepted);
    EXPECT_EQ(accounts.authenticate("ann", "secret"), 2u);

    // A renamed user needs a password, then the old name goes.
    UserEditor renamed(accounts, "ann", prompts);
    renamed.findChild<QLineEdit*>("User")->setText("anna");
    renamed.accept();
    EXPECT_EQ(renamed.result(), QDialog::Rejected);
    for (const char* field : {"Passwrod", "Pass repeat"}) {
        auto* edit = renamed.findChild<QLineEdit*>(field);
        edit->clear();
        QTest::keyClicks(edit, "new");
    }
    renamed.accept();
    EXPECT_EQ(renamed.result(), QDialog::Accepted);
    EXPECT_EQ(accounts.listAccounts(), std::vector<std::string>{"anna"});
    EXPECT_EQ(accounts.authenticate("anna", "new"), 2u);
}

}  // namespace
}  // namespace tg
