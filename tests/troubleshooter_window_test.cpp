// The troubleshooter's window driven through its named widgets.
#include "test_support.h"

#include "formats/registry_store.h"
#include "recording_prompter.h"
#include "troubleshooter/window/troubleshooter_window.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

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
    // The folder dialogs answer from the prompter unless the test wants Qt's own.
    void open(const std::string& report, bool qtFolderDialog = false) {
        window = std::make_unique<TroubleshooterWindow>(store, prompter, shell, report);
        if (!qtFolderDialog)
            window->troubleshooter().setFolderDialog(
                [this](const FolderDialogRequest& r) { return prompter.browseForFolder(r.title); });
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

    prompter.shown.clear(); // the cache folder chooser of the start
    click("cmdSave");
    EXPECT_NE(tvtest::readFile(report).find("*** END OF INFO ***\r\n"), std::string::npos);
    // The user is told where the report went, in a box of the troubleshooter's own.
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text, "The report was saved to " + report + ".");
    EXPECT_EQ(prompter.shown[0].title, "Tessvane Troubleshooter");
    EXPECT_EQ(mail->text(), "E&mail the Info");
    click("cmdMail");
    EXPECT_EQ(shell.opened.back(), "open:" + window->troubleshooter().mailLink(report));
    EXPECT_EQ(prompter.shown.size(), 1u);
    // No mail program: the address to write to is said, and shown all along.
    shell.handlerExists = false;
    click("cmdMail");
    EXPECT_EQ(prompter.messageTexts().back(),
              "There is no mail program on this desktop. Please write to tessvane@example.org "
              "and attach " +
                  report + ".");
    EXPECT_NE(child<QLabel>("lblMailTo")->text().indexOf("tessvane@example.org"), -1);
    click("cmdViewLog"); // no log yet
    EXPECT_EQ(prompter.messageTexts().back(), fx.program + "/Tessvane.log does not exist.");
    EXPECT_EQ(prompter.shown.back().title, "Tessvane Troubleshooter");

    // A key for every button, none shared.
    std::set<QChar> keys;
    for (auto* b : window->findChildren<QPushButton*>()) {
        const int amp = b->text().indexOf('&');
        if (amp < 0) continue;
        EXPECT_TRUE(keys.insert(b->text()[amp + 1].toUpper()).second) << b->text().toStdString();
    }
    EXPECT_EQ(keys.size(), 6u); // the mail button has its key once the report is saved
}

TEST_F(TroubleWindowTest, ResetAndSetUtChangeTheirBoxes) {
    open(fx.dir / "CacheInfo.txt");
    click("cmdReset"); // No
    EXPECT_EQ(child<QLineEdit>("txtCacheRegDir")->text().toStdString(), fx.cache);
    prompter.answers = {true};
    click("cmdReset");
    EXPECT_TRUE(child<QLineEdit>("txtCacheRegDir")->text().isEmpty());
    // A folder with neither System nor Cache is questioned; No keeps the old one.
    tvtest::TempDir other;
    prompter.folders = {other.path()};
    click("cmdSetUT");
    EXPECT_EQ(prompter.shown.back().text,
              "This does not look like an Unreal Tournament 2003 or 2004 folder. Use it anyway?");
    EXPECT_EQ(child<QLineEdit>("txtUTRegDir")->text().toStdString(), fx.game);
    prompter.folders = {other.path()};
    prompter.answers = {true};
    click("cmdSetUT");
    EXPECT_EQ(child<QLineEdit>("txtUTRegDir")->text().toStdString(), other.path() + "/");
    std::filesystem::create_directories(other / "System");
    prompter.folders = {other.path()};
    const size_t asked = prompter.shown.size();
    click("cmdSetUT");
    EXPECT_EQ(prompter.shown.size(), asked + 1); // only the folder chooser
}

TEST_F(TroubleWindowTest, AReportThatCannotBeSavedLeavesNothingToMail) {
    open(fx.dir / "no/such/folder/CacheInfo.txt");
    click("cmdSave");
    EXPECT_EQ(prompter.messageTexts().back().rfind("The report could not be saved: ", 0), 0u);
    EXPECT_FALSE(child<QPushButton>("cmdMail")->isEnabled());
}

TEST_F(TroubleWindowTest, TheFolderDialogStartsAtHomeAndListsItsHiddenFolders) {
    std::filesystem::create_directories(fx.home + "/.ut2004");
    // The stored game folder is gone: its dialog starts in the player's folder.
    store.setValue("HKEY_LOCAL_MACHINE\\Software\\Unreal Technology\\Installed Apps\\UT2003",
                   "Folder", RegValue::text(fx.dir / "moved/"));
    open(fx.dir / "CacheInfo.txt", true);
    // Watches for the dialog the click opens: where it starts, whether it
    // lists ~/.ut2004 (the list fills in the background), then closes it.
    QString startedIn;
    bool listsHidden = false;
    int ticks = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        QFileDialog* dialog = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<QFileDialog*>(w); d && d->isVisible()) dialog = d;
        if (!dialog) return;
        startedIn = dialog->directory().absolutePath();
        for (auto* view : dialog->findChildren<QAbstractItemView*>()) {
            const QModelIndex root = view->rootIndex();
            for (int row = 0; view->model() && row < view->model()->rowCount(root); ++row)
                if (view->model()->index(row, 0, root).data().toString() == ".ut2004")
                    listsHidden = true;
        }
        if (listsHidden || ++ticks > 250) dialog->reject();
    });
    watch.start(20);
    click("cmdSetUT");
    watch.stop();
    EXPECT_EQ(startedIn.toStdString(), fx.home);
    EXPECT_TRUE(listsHidden);
}
