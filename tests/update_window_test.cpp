// The update window as the main window opens it.
#include "main_window_fixture.h"

#include "window/update_window.h"

#include <QAction>
#include <QPushButton>
#include <QTabWidget>
#include <QTextEdit>

using namespace tv;
using tvtest::MainWindowTest;

namespace {

class UpdateWindowTest : public MainWindowTest {
protected:
    UpdateWindowTest() {
        // Not the first start: no check at start-up.
        store.setValue(tvtest::kSettingsKey, "FirstRun", RegValue::text("0"));
        const std::string server = updateServer();
        updatePages[server + "/vb/vercheck/ver.txt"] =
            "TessvaneVerStart 9.1 TessvaneVerEnd TessvaneVerInfoStart New things "
            "TessvaneVerInfoEnd";
        updatePages[server + "/vb/vercheck/download.txt"] =
            "TessvaneStart https://example.org/tessvane-9.1.tar.gz TessvaneEnd";
    }
    QPushButton* updateButton() { return child<QPushButton>("cmdUpdate"); }
};

} // namespace

TEST_F(UpdateWindowTest, ANewerVersionIsShownWithItsDownloadButton) {
    ASSERT_TRUE(start());
    const QString caption = window->windowTitle();
    click("cmdUpdate");
    EXPECT_EQ(window->windowTitle(), caption);
    EXPECT_EQ(child<QTabWidget>("Tab1")->currentIndex(), 2);
    UpdateWindow* updates = window->updateWindow();
    ASSERT_NE(updates, nullptr);
    EXPECT_TRUE(updates->isVisible());
    EXPECT_FALSE(updates->isModal());
    EXPECT_EQ(updates->windowTitle(), "Updates");
    EXPECT_EQ(updates->lblUpdates->text(), "Version 9.1 is available.  Click the link below:");
    EXPECT_TRUE(updates->rtxtUpdate->isVisible());
    EXPECT_EQ(updates->rtxtUpdate->toPlainText(), "New things");
    EXPECT_TRUE(updates->cmdGetUpdate->isVisible());
    EXPECT_EQ(updates->cmdGetUpdate->text(), "https://example.org/tessvane-9.1.tar.gz");
    EXPECT_FALSE(updateButton()->isEnabled());
    EXPECT_EQ(updateButton()->text(), "Please wait...");

    QTest::mouseClick(updates->cmdGetUpdate, Qt::LeftButton);
    EXPECT_EQ(shell.opened,
              std::vector<std::string>{"open:https://example.org/tessvane-9.1.tar.gz"});
    EXPECT_FALSE(updates->isVisible());
    EXPECT_TRUE(updateButton()->isEnabled());
    EXPECT_EQ(updateButton()->text(), "Check for &Updates Now");
}

TEST_F(UpdateWindowTest, OffLineSaysSoAndGivesTheButtonBack) {
    ASSERT_TRUE(start());
    quillet::NetConnection::SetConnectionState(false);
    click("cmdUpdate");
    EXPECT_EQ(prompter.messageTexts(),
              std::vector<std::string>{"Connect to the internet before checking for updates."});
    ASSERT_NE(window->updateWindow(), nullptr);
    EXPECT_FALSE(window->updateWindow()->isVisible());
    EXPECT_TRUE(updateButton()->isEnabled());
    EXPECT_EQ(updateButton()->text(), "Check for &Updates Now");
}

TEST_F(UpdateWindowTest, TheMenuOpensTheOneWindowWithoutTouchingTheButton) {
    ASSERT_TRUE(start());
    updatePages.clear(); // the server gives nothing
    auto* menu = window->findChild<QAction*>("mnuToolsCheckForUpdates");
    ASSERT_NE(menu, nullptr);
    ASSERT_TRUE(menu->isEnabled());
    menu->trigger();
    UpdateWindow* first = window->updateWindow();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->lblUpdates->text(),
              "The update server could not be reached or gave no version.");
    EXPECT_FALSE(first->cmdGetUpdate->isVisible());
    EXPECT_TRUE(updateButton()->isEnabled());
    QTest::mouseClick(first->cmdExit, Qt::LeftButton);
    EXPECT_FALSE(first->isVisible());
    menu->trigger();
    EXPECT_EQ(window->updateWindow(), first);
    EXPECT_EQ(window->findChildren<UpdateWindow*>().size(), 1);
}
