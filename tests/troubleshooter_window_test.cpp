// The troubleshooter's window driven through its named widgets.
#include "test_support.h"

#include "platform/recording_prompter.h"
#include "platform/registry_store.h"
#include "troubleshooter/window/troubleshooter_window.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace tv;

namespace {

const std::string kSettingsKey = "HKEY_LOCAL_MACHINE\\Software\\Zarnowick\\Tessvane";

struct TroubleWindowTest : ::testing::Test {
    tvtest::GameFixture fx;
    RegistryStore store{fx.registry};
    RecordingPrompter prompter;
    RecordingShell shell;
    std::unique_ptr<TroubleshooterWindow> window;

    TroubleWindowTest() {
        fx.writeCacheIni({fx.addEntry(1, "DM-One.ut2")});
        store.setValue(kSettingsKey, "CacheDir", RegValue::text(fx.cache));
        store.setValue(kSettingsKey, "InstallPath", RegValue::text(fx.program));
        prompter.folders = {fx.cache};
    }
    void open(const std::string& report) {
        window = std::make_unique<TroubleshooterWindow>(store, prompter, shell, report);
        ASSERT_TRUE(window->start());
        window->show();
    }
    template <class T> T* child(const char* name) {
        T* w = window->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void click(const char* name) {
        auto* b = child<QPushButton>(name);
        ASSERT_NE(b, nullptr);
        ASSERT_TRUE(b->isEnabled()) << name;
        QTest::mouseClick(b, Qt::LeftButton);
    }
};

} // namespace

TEST_F(TroubleWindowTest, ShowsTheSettingsAndListsThenSavesAndMails) {
    std::string report = fx.dir / "CacheInfo.txt";
    open(report);
    EXPECT_EQ(window->windowTitle(), "Tessvane Troubleshooter v1.0");
    EXPECT_EQ(child<QLineEdit>("txtUTRegDir")->text().toStdString(), fx.game);
    EXPECT_EQ(child<QLineEdit>("txtCacheRegDir")->text().toStdString(), fx.cache);
    EXPECT_EQ(child<QListWidget>("lstCacheINI")->count(), 2);
    EXPECT_EQ(child<QListWidget>("lstCacheDir")->count(), 2);
    EXPECT_EQ(child<QPushButton>("cmdSetUT")->toolTip(),
              "Use this to set the root UT dir if u installed or moved UT manually");
    EXPECT_EQ(child<QPushButton>("cmdSave")->text().toStdString(), "&Save to " + report);
    auto* mail = child<QPushButton>("cmdMail");
    EXPECT_FALSE(mail->isEnabled());
    EXPECT_EQ(mail->text(), "** Save the file FIRST **");

    click("cmdSave");
    EXPECT_NE(tvtest::readFile(report).find("*** END OF INFO ***\r\n"), std::string::npos);
    EXPECT_EQ(mail->text(), "&Email the Info");
    click("cmdMail");
    EXPECT_EQ(shell.opened.back(), "open:" + window->troubleshooter().mailLink(report));
    click("cmdViewLog"); // no log yet
    EXPECT_EQ(prompter.messageTexts().back(), fx.program + "/Tessvane.log does not exist.");
}

TEST_F(TroubleWindowTest, ResetAndSetUtChangeTheirBoxes) {
    open(fx.dir / "CacheInfo.txt");
    click("cmdReset"); // No
    EXPECT_EQ(child<QLineEdit>("txtCacheRegDir")->text().toStdString(), fx.cache);
    prompter.answers = {true};
    click("cmdReset");
    EXPECT_TRUE(child<QLineEdit>("txtCacheRegDir")->text().isEmpty());
    prompter.folders = {"/games/ut2003"};
    click("cmdSetUT");
    EXPECT_EQ(child<QLineEdit>("txtUTRegDir")->text(), "/games/ut2003/");
}

TEST_F(TroubleWindowTest, AReportThatCannotBeSavedLeavesNothingToMail) {
    open(fx.dir / "no/such/folder/CacheInfo.txt");
    click("cmdSave");
    EXPECT_EQ(prompter.messageTexts().back().rfind("The report could not be saved: ", 0), 0u);
    EXPECT_FALSE(child<QPushButton>("cmdMail")->isEnabled());
}
