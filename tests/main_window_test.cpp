#include "main_window_fixture.h"
#include "package_support.h"

#include "platform/dates.h"
#include "store/undo_log.h"

#include "desktop/watch_service.h"
#include "formats/registry_store.h"
#include "recording_prompter.h"
#include "window/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDialog>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include <signal.h>

using namespace tv;
using tvtest::GameFixture;
using tvtest::ident;
using tvtest::kSettingsKey;
using tvtest::MainWindowTest;

TEST_F(MainWindowTest, MissingShippedFileEndsTheProgramWithoutWriting) {
    std::filesystem::remove(fx.program + "/search.gif");
    std::string before = tvtest::readFile(fx.registry);
    open();
    EXPECT_FALSE(window->startUp());
    EXPECT_EQ(prompter.messageTexts(),
              (std::vector<std::string>{
                  "A critical file (Search.gif) is missing...please re-install the program.",
                  "Remember to copy the latest EXE over the one installed..."}));
    EXPECT_EQ(tvtest::readFile(fx.registry), before);
    EXPECT_EQ(tvtest::readFile(fx.game + "/System/UT2003.ini"),
              "[Core.System]\r\nPurgeCacheDays=90\r\n");
}

TEST_F(MainWindowTest, FirstStartShowsTheListWithDefaults) {
    ASSERT_TRUE(start());
    EXPECT_EQ(window->windowTitle().toStdString(),
              "Tessvane \u2014 UT2003 (chosen folder) \u2014 " + fx.cache);
    auto* tabs = child<QTabWidget>("Tab1");
    ASSERT_EQ(tabs->count(), 8);
    QStringList titles;
    for (int i = 0; i < 8; ++i)
        titles << tabs->tabText(i);
    EXPECT_EQ(titles, (QStringList{"Status", "File List", "Options", "Never Move", "Undo",
                                   "User Defined", "ZIP", "Library"}));
    // The first start's update check shows the Status tab.
    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_TRUE(child<QRadioButton>("optSelectAll")->isChecked());
    EXPECT_TRUE(child<QRadioButton>("optMoveNorm")->isChecked());
    EXPECT_TRUE(child<QCheckBox>("chkBackupCache")->isChecked());
    EXPECT_FALSE(child<QCheckBox>("chkUT2")->isChecked());
    EXPECT_FALSE(child<QCheckBox>("chkUT2")->isEnabled());
    EXPECT_FALSE(child<QLineEdit>("txtMoveDir")->isHidden() == false);
    EXPECT_EQ(listColumn(0), (QStringList{"DM-One.ut2", "Tex.utx", "Song.ogg"}));
    EXPECT_EQ(ticks(), (std::vector<bool>{true, true, true}));
    EXPECT_EQ(statusText(), "Found 3 files to process");
    EXPECT_EQ(child<QLabel>("lblUTName")->text(), "Tester");
    EXPECT_EQ(child<QLabel>("lblCacheDir")->text().toStdString(), fx.cache);
    EXPECT_EQ(child<QLineEdit>("txtPurgeCacheDays")->text(), "90");
    EXPECT_TRUE(child<QLabel>("label9")->text().startsWith("NOTES: \n- you can add files"));
    auto* header = child<QTreeView>("ListView1")->model();
    EXPECT_EQ(header->headerData(0, Qt::Horizontal).toString(),
              "File Name  (color red = never move)");
    EXPECT_EQ(header->headerData(2, Qt::Horizontal).toString(), "Never Move?");
    EXPECT_TRUE(prompter.shown.empty());
    EXPECT_TRUE(child<QPushButton>("cmdRun")->isEnabled());
    // The first start checks for updates once the window is shown.
    QTRY_VERIFY(window->updateWindow() != nullptr);
    EXPECT_EQ(window->updateWindow()->lblUpdates->text(),
              "The update server could not be reached or gave no version.");
}

TEST_F(MainWindowTest, SettingsSurviveARestart) {
    ASSERT_TRUE(start());
    QTest::mouseClick(child<QRadioButton>("optSelectOnly"), Qt::LeftButton);
    QTest::mouseClick(child<QCheckBox>("chkUT2"), Qt::LeftButton);
    QTest::mouseClick(child<QCheckBox>("chkMissingExt"), Qt::LeftButton);
    QTest::mouseClick(child<QCheckBox>("chkBackupCache"), Qt::LeftButton);
    QTest::mouseClick(child<QRadioButton>("optMoveDir2"), Qt::LeftButton);
    child<QLineEdit>("txtMoveDir2")->setText("/data/ut stuff");
    QTest::mouseClick(child<QCheckBox>("chkCleanTMP"), Qt::LeftButton);
    click("cmdCommitFileTypes");
    EXPECT_EQ(ticks(), (std::vector<bool>{true, false, false}));

    restart();
    EXPECT_TRUE(child<QRadioButton>("optSelectOnly")->isChecked());
    EXPECT_FALSE(child<QRadioButton>("optSelectAll")->isChecked());
    EXPECT_TRUE(child<QCheckBox>("chkUT2")->isChecked());
    EXPECT_TRUE(child<QCheckBox>("chkUT2")->isEnabled());
    EXPECT_TRUE(child<QCheckBox>("chkMissingExt")->isChecked());
    EXPECT_FALSE(child<QCheckBox>("chkBackupCache")->isChecked());
    EXPECT_TRUE(child<QRadioButton>("optMoveDir2")->isChecked());
    EXPECT_FALSE(child<QRadioButton>("optMoveNorm")->isChecked());
    EXPECT_EQ(child<QLineEdit>("txtMoveDir2")->text(), "/data/ut stuff");
    EXPECT_TRUE(child<QLineEdit>("txtMoveDir2")->isHidden() == false);
    EXPECT_FALSE(child<QCheckBox>("chkCleanTMP")->isChecked());
    EXPECT_EQ(ticks(), (std::vector<bool>{true, false, false}));
    EXPECT_EQ(store.value(kSettingsKey, "FirstRun")->data, std::string("0\0", 2));
    EXPECT_EQ(store.value(kSettingsKey, "AutoClean")->data, std::string("0\0", 2));
    EXPECT_EQ(store.value(kSettingsKey, "CacheDir")->data, fx.cache + std::string(1, '\0'));
}

TEST_F(MainWindowTest, TypeBoxClickBlinksTheReminderUntilCommit) {
    ASSERT_TRUE(start());
    QTest::mouseClick(child<QRadioButton>("optSelectOnly"), Qt::LeftButton);
    auto* remind = child<QLabel>("lblRemind");
    auto* timer = child<QTimer>("Timer1");
    EXPECT_TRUE(remind->text().isEmpty());
    QTest::mouseClick(child<QCheckBox>("chkUMX"), Qt::LeftButton);
    const QString reminder =
        "Remember to click the 'Commit Changes to List' button before clicking 'Run'";
    EXPECT_EQ(remind->text(), reminder);
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 2500);
    QMetaObject::invokeMethod(timer, "timeout");
    EXPECT_TRUE(remind->text().isEmpty());
    QMetaObject::invokeMethod(timer, "timeout");
    EXPECT_EQ(remind->text(), reminder);
    EXPECT_EQ(ticks(), (std::vector<bool>{true, true, true})); // nothing rescanned yet

    click("cmdCommitFileTypes");
    EXPECT_FALSE(timer->isActive());
    EXPECT_TRUE(remind->text().isEmpty());
    EXPECT_EQ(ticks(), (std::vector<bool>{false, false, true}));
    EXPECT_EQ(statusText(), "Found 1 file to process");

    QTest::mouseClick(child<QRadioButton>("optSelectAll"), Qt::LeftButton);
    settle();
    EXPECT_EQ(ticks(), (std::vector<bool>{true, true, true}));
    EXPECT_FALSE(child<QCheckBox>("chkUMX")->isEnabled());
    EXPECT_FALSE(child<QPushButton>("cmdCommitFileTypes")->isEnabled());
}

TEST_F(MainWindowTest, HeaderClicksSortAndToggleTheOrder) {
    tvtest::setModified(fx.cache + "/" + ident(1) + ".uxx", 1300000000);
    tvtest::setModified(fx.cache + "/" + ident(2) + ".uxx", 1100000000);
    tvtest::setModified(fx.cache + "/" + ident(3) + ".uxx", 1200000000);
    ASSERT_TRUE(start());
    child<QTabWidget>("Tab1")->setCurrentIndex(1);
    clickHeader("ListView1", 1);
    EXPECT_EQ(listColumn(0), (QStringList{"Tex.utx", "Song.ogg", "DM-One.ut2"}));
    clickHeader("ListView1", 1);
    EXPECT_EQ(listColumn(0), (QStringList{"DM-One.ut2", "Song.ogg", "Tex.utx"}));
    clickHeader("ListView1", 0);
    EXPECT_EQ(listColumn(0), (QStringList{"DM-One.ut2", "Song.ogg", "Tex.utx"}));
    clickHeader("ListView1", 0);
    EXPECT_EQ(listColumn(0), (QStringList{"Tex.utx", "Song.ogg", "DM-One.ut2"}));
    // The arrow shows the sort, and stays with it through a new scan.
    QHeaderView* header = child<QTreeView>("ListView1")->header();
    auto expectArrow = [&](int column, Qt::SortOrder order) {
        EXPECT_TRUE(header->isSortIndicatorShown());
        EXPECT_EQ(header->sortIndicatorSection(), column);
        EXPECT_EQ(header->sortIndicatorOrder(), order);
    };
    expectArrow(0, Qt::DescendingOrder);
    click("cmdRescan");
    EXPECT_EQ(listColumn(0), (QStringList{"Tex.utx", "Song.ogg", "DM-One.ut2"}));
    expectArrow(0, Qt::DescendingOrder);

    // The view's order is the view's own: the session keeps Cache.ini's
    // order, a tick in the sorted view lands on the row shown, and a change
    // of the rows (uncheck all) keeps the sort.
    std::vector<std::string> sessionOrder;
    for (const auto& r : window->session().fileList().rows())
        sessionOrder.push_back(r.text);
    EXPECT_EQ(sessionOrder, (std::vector<std::string>{"DM-One.ut2", "Tex.utx", "Song.ogg"}));
    click("cmdUncheck");
    EXPECT_EQ(listColumn(0), (QStringList{"Tex.utx", "Song.ogg", "DM-One.ut2"}));
    auto* view = child<QTreeView>("ListView1");
    view->model()->setData(view->model()->index(0, 0), Qt::Checked, Qt::CheckStateRole);
    EXPECT_TRUE(window->session().fileList().rows()[1].ticked); // Tex.utx
    EXPECT_FALSE(window->session().fileList().rows()[0].ticked);
    EXPECT_FALSE(window->session().fileList().rows()[2].ticked);
}

TEST_F(MainWindowTest, CheckAllUncheckAllAndDeleteDeletesNothing) {
    ASSERT_TRUE(start());
    click("cmdUncheck");
    EXPECT_EQ(ticks(), (std::vector<bool>{false, false, false}));
    EXPECT_EQ(statusText(), "Found 0 file to process");
    click("cmdCheck");
    EXPECT_EQ(ticks(), (std::vector<bool>{true, true, true}));
    EXPECT_EQ(statusText(), "Found 3 files to process");
    click("cmdDelFiles");
    EXPECT_EQ(prompter.messageTexts(), std::vector<std::string>{"Not implemented yet..."});
    EXPECT_TRUE(tvtest::exists(fx.cache + "/" + ident(1) + ".uxx"));
    EXPECT_EQ(listColumn(0).size(), 3);
}

TEST_F(MainWindowTest, RescanAndAnotherCacheFolder) {
    ASSERT_TRUE(start());
    fx.writeCacheIni({fx.addEntry(1, "DM-One.ut2")});
    click("cmdRescan");
    EXPECT_EQ(listColumn(0), QStringList{"DM-One.ut2"});
    EXPECT_EQ(statusText(), "Found 1 file to process");

    tvtest::TempDir other;
    tvtest::writeFile(other / "Cache.ini",
                      "[Cache]\r\n" + ident(7) + "=A.utx\r\n" + ident(8) + "=B.utx\r\n");
    prompter.folders = {other.path()};
    click("cmdCacheDir");
    EXPECT_EQ(prompter.shown.back().title, "Choose a folder:");
    EXPECT_EQ(listColumn(0), (QStringList{"A.utx", "B.utx"}));
    EXPECT_EQ(child<QLabel>("lblCacheDir")->text().toStdString(), other.path());
    click("cmdCacheDir"); // cancelled
    EXPECT_EQ(child<QLabel>("lblCacheDir")->text().toStdString(), other.path());
}

TEST_F(MainWindowTest, NeverMoveRowsAreRedAndShowTrue) {
    fx.writeNeverMove({"tex*"});
    ASSERT_TRUE(start());
    EXPECT_EQ(ticks(), (std::vector<bool>{true, false, true}));
    EXPECT_EQ(listColumn(2), (QStringList{"", "True", ""}));
    auto* model = child<QTreeView>("ListView1")->model();
    EXPECT_EQ(model->index(1, 0).data(Qt::ForegroundRole).value<QBrush>().color(),
              QColor(255, 0, 0));
    EXPECT_EQ(statusText(), "Found 2 files to process");
}

TEST_F(MainWindowTest, DestinationOptionsShowTheirFolderControls) {
    ASSERT_TRUE(start());
    QTest::mouseClick(child<QRadioButton>("optMoveDir"), Qt::LeftButton);
    EXPECT_TRUE(child<QLineEdit>("txtMoveDir")->isHidden() == false);
    EXPECT_TRUE(child<QPushButton>("cmdMoveDir")->isHidden() == false);
    EXPECT_FALSE(child<QLineEdit>("txtMoveDir2")->isHidden() == false);
    EXPECT_FALSE(child<QRadioButton>("optMoveNorm")->isChecked());
    prompter.folders = {"/chosen/folder"};
    click("cmdMoveDir");
    EXPECT_EQ(child<QLineEdit>("txtMoveDir")->text(), "/chosen/folder");
    QTest::mouseClick(child<QRadioButton>("optMoveNorm"), Qt::LeftButton);
    EXPECT_FALSE(child<QLineEdit>("txtMoveDir")->isHidden() == false);
    EXPECT_FALSE(child<QPushButton>("cmdMoveDir2")->isHidden() == false);
}

TEST_F(MainWindowTest, SetWritesThePurgeDaysAsTyped) {
    ASSERT_TRUE(start());
    auto* days = child<QLineEdit>("txtPurgeCacheDays");
    days->setText("45");
    click("cmdSetPurge");
    EXPECT_EQ(tvtest::readFile(fx.game + "/System/UT2003.ini"),
              "[Core.System]\r\nPurgeCacheDays=45\r\n");
    // Anything but a whole number of days from 0 to 3650 is refused.
    for (const char* bad : {"", "abc", "3651", "-2", "4.5"}) {
        prompter.shown.clear();
        days->setText(bad);
        click("cmdSetPurge");
        EXPECT_EQ(tvtest::readFile(fx.game + "/System/UT2003.ini"),
                  "[Core.System]\r\nPurgeCacheDays=45\r\n")
            << bad;
        ASSERT_EQ(prompter.messageTexts().size(), 1u) << bad;
        EXPECT_NE(prompter.messageTexts()[0].find("from 0 to 3650"), std::string::npos);
    }
    days->setText("20");
    click("cmdSetPurge");
    click("cmdRescan");
    EXPECT_EQ(days->text(), "360"); // the scan raises 30 days or less
}

TEST_F(MainWindowTest, MissingGameFolderIsAskedForAtStart) {
    tvtest::TempDir empty;
    RegistryStore fresh(empty / "registry.reg");
    prompter.folders = {"", fx.game};
    prompter.answers = {true}; // choose again
    window = std::make_unique<MainWindow>(fx.program, fresh, prompter, shell);
    window->setQuitOnShutdown(false);
    ASSERT_TRUE(window->startUp());
    tvtest::settleWindow(*window);
    EXPECT_EQ(prompter.messageTexts().size(), 1u);
    EXPECT_EQ(window->session().install().gameFolder, fx.game);
    EXPECT_EQ(listColumn(0).size(), 3);
}

TEST_F(MainWindowTest, TheFirstStartCanBeLeftWithoutWritingAnything) {
    tvtest::TempDir empty;
    RegistryStore fresh(empty / "registry.reg");
    prompter.folders = {""};
    prompter.answers = {false}; // do not choose again
    window = std::make_unique<MainWindow>(fx.program, fresh, prompter, shell);
    window->setQuitOnShutdown(false);
    EXPECT_FALSE(window->startUp());
    window.reset();
    EXPECT_FALSE(tvtest::exists(empty / "registry.reg"));
}

TEST_F(MainWindowTest, EditorMenusOpenTheProgramFilesOrSayWhyNot) {
    ASSERT_TRUE(start());
    auto trigger = [&](const char* name) {
        auto* action = window->findChild<QAction*>(name);
        ASSERT_NE(action, nullptr) << name;
        ASSERT_TRUE(action->isEnabled()) << name;
        action->trigger();
    };
    tvtest::writeFile(fx.program + "/Tessvane.log", "log");
    trigger("mnuToolsEditNMList");
    trigger("mnuToolsView");
    EXPECT_EQ(shell.opened,
              (std::vector<std::string>{"editor:" + fx.program + "/TessvaneDontMove.ini",
                                        "editor:" + fx.program + "/Tessvane.log"}));
    EXPECT_TRUE(prompter.shown.empty());

    std::filesystem::remove(fx.program + "/Tessvane.log");
    trigger("mnuToolsView");
    EXPECT_EQ(prompter.messageTexts().back(), fx.program + "/Tessvane.log does not exist.");
    trigger("mnuHelpContents"); // the fixture ships no help page
    EXPECT_EQ(prompter.messageTexts().back(), fx.program + "/Tessvane Help.html does not exist.");
    shell.handlerExists = false;
    trigger("mnuToolsEdit");
    EXPECT_EQ(prompter.messageTexts().back(),
              "There is no program on this desktop to open " + fx.program + "/Tessvane.ini.");
}

TEST_F(MainWindowTest, TheAboutWindowPlaysItsSoundAndStartsTheSystemTool) {
    RecordingSoundPlayer sound;
    open();
    window->setSoundPlayer(&sound);
    ASSERT_TRUE(window->startUp());
    tvtest::settleWindow(*window);
    window->show();
    window->findChild<QAction*>("mnuHelpAbout")->trigger();
    auto* about = window->findChild<QDialog*>("frmAbout");
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(child<QPushButton>("cmdOK")->isDefault());
    QTest::mouseClick(about, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(sound.played, std::vector<std::string>{fx.program + "/e.wav"});

    // A system tool on the PATH is started; none at all is said.
    tvtest::TempDir bin;
    std::string tool = bin / "gnome-system-monitor";
    tvtest::writeFile(tool, "#!/bin/sh\n");
    std::filesystem::permissions(tool, std::filesystem::perms::owner_all);
    std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", bin.path().c_str(), 1);
    click("cmdSysInfo");
    EXPECT_EQ(shell.opened.back(), "start:" + tool);
    ::setenv("PATH", "", 1);
    click("cmdSysInfo");
    ::setenv("PATH", oldPath.c_str(), 1);
    EXPECT_EQ(prompter.messageTexts().back(), "System Information Is Unavailable At This Time");
}

TEST_F(MainWindowTest, RightClickAddsARowToTheNeverMoveList) {
    ASSERT_TRUE(start());
    auto* list = child<QTreeView>("ListView1");
    QRect second = list->visualRect(list->model()->index(1, 0));
    prompter.answers = {true};
    QContextMenuEvent menu(QContextMenuEvent::Mouse, second.center(),
                           list->viewport()->mapToGlobal(second.center()));
    QApplication::sendEvent(list->viewport(), &menu);
    ASSERT_FALSE(prompter.shown.empty());
    EXPECT_EQ(prompter.shown.back().text, "Add TEX.UTX to the never move list?");
    EXPECT_EQ(tvtest::readFile(fx.program + "/TessvaneDontMove.ini"), "Tex.utx\r\n");
    EXPECT_EQ(listColumn(2), (QStringList{"", "True", ""}));
    EXPECT_EQ(ticks(), (std::vector<bool>{true, false, true}));
    auto* lstNM = child<QListWidget>("lstNM");
    ASSERT_EQ(lstNM->count(), 1);
    EXPECT_EQ(lstNM->item(0)->text(), "Tex.utx");
    // A row already on the list asks nothing.
    size_t asked = prompter.shown.size();
    QApplication::sendEvent(list->viewport(), &menu);
    EXPECT_EQ(prompter.shown.size(), asked);
}

TEST_F(MainWindowTest, NeverMoveTabEditsAndSaves) {
    fx.writeNeverMove({"DM-*", "Song.ogg"});
    ASSERT_TRUE(start());
    EXPECT_EQ(ticks(), (std::vector<bool>{false, true, false}));
    auto* lstNM = child<QListWidget>("lstNM");
    auto* label8 = child<QLabel>("Label8");
    EXPECT_TRUE(label8->isHidden());
    lstNM->setCurrentRow(0);
    click("cmdNMRemove");
    EXPECT_FALSE(label8->isHidden());
    auto* add = child<QLineEdit>("txtNMAdd");
    add->setText("Te");
    click("cmdNMAdd");
    EXPECT_EQ(prompter.messageTexts().back(),
              "Please type the Never Move text before pressing Add...");
    add->setText("Tex*");
    click("cmdNMAdd");
    EXPECT_TRUE(add->text().isEmpty());
    ASSERT_EQ(lstNM->count(), 2);
    EXPECT_EQ(tvtest::readFile(fx.program + "/TessvaneDontMove.ini"), "DM-*\r\nSong.ogg\r\n");
    click("cmdNMSave");
    EXPECT_EQ(tvtest::readFile(fx.program + "/TessvaneDontMove.ini"), "Song.ogg\r\nTex*\r\n");
    EXPECT_TRUE(label8->isHidden());
    EXPECT_EQ(ticks(), (std::vector<bool>{true, false, false}));
    EXPECT_EQ(listColumn(2), (QStringList{"", "True", "True"}));
    EXPECT_EQ(statusText(), "Found 1 file to process");
}

TEST_F(MainWindowTest, RunMovesTheFilesAndUndoTakesThemBack) {
    ASSERT_TRUE(start());
    QTest::mouseClick(child<QCheckBox>("chkBackupCache"), Qt::LeftButton);
    click("cmdRun");
    EXPECT_EQ(child<QTabWidget>("Tab1")->currentIndex(), 0);
    EXPECT_TRUE(tvtest::exists(fx.game + "/Maps/DM-One.ut2"));
    EXPECT_TRUE(tvtest::exists(fx.game + "/Music/Song.ogg"));
    ASSERT_FALSE(statusLines().isEmpty());
    EXPECT_EQ(statusLines()[0].toStdString(),
              "**OLD** " + ident(1) + ".uxx  ---->  **NEW** " + fx.game + "/Maps/DM-One.ut2");
    EXPECT_EQ(child<QLabel>("Label1")->text().toStdString(), "Cache Directory = " + fx.cache);
    EXPECT_EQ(statusText(), "Done processing files");
    EXPECT_TRUE(child<QPushButton>("cmdRun")->isEnabled());
    EXPECT_TRUE(listColumn(0).isEmpty());

    showTab("Undo");
    auto* undoList = child<QTreeView>("lvUndo");
    ASSERT_EQ(undoList->model()->rowCount(), 3);
    EXPECT_FALSE(child<QLabel>("lblDBSize")->text().isEmpty());
    bool labelled = false;
    for (auto* label : undoList->parentWidget()->findChildren<QLabel*>())
        labelled = labelled || label->text() == "Database Size:";
    EXPECT_TRUE(labelled);
    undoList->model()->setData(undoList->model()->index(0, 0), Qt::Checked, Qt::CheckStateRole);
    prompter.answers = {true};
    click("cmdUndo");
    EXPECT_EQ(undoList->model()->rowCount(), 2);
    EXPECT_TRUE(tvtest::exists(fx.cache + "/" + ident(1) + ".uxx"));
    EXPECT_EQ(listColumn(0), QStringList{"DM-One.ut2"});

    prompter.answers = {true};
    click("cmdEmptyDB");
    EXPECT_EQ(undoList->model()->rowCount(), 0);
    EXPECT_EQ(statusText(), "Database compacted");
}

TEST_F(MainWindowTest, AMoveThatFailsIsRedOnTheStatusListAndInTheStatusBar) {
    ASSERT_TRUE(start());
    tvtest::ReadOnly readOnly(fx.game + "/Maps");
    if (readOnly.skipped()) GTEST_SKIP() << "no way to make a folder read-only here";
    click("cmdRun");
    EXPECT_EQ(statusText(), "Done processing files, with errors (see the Status tab)");
    const int failure = statusRow("**ERROR** Cannot move");
    ASSERT_GE(failure, 0);
    auto* model = child<QListView>("List1")->model();
    EXPECT_EQ(model->index(failure, 0).data(Qt::ForegroundRole).value<QColor>(), QColor(Qt::red));
    EXPECT_FALSE(model->index(0, 0).data(Qt::ForegroundRole).isValid()); // the list's own colour
    EXPECT_TRUE(tvtest::exists(fx.cache + "/" + ident(1) + ".uxx"));
}

TEST_F(MainWindowTest, TheUndoListSortsDatesByTheDayTheyName) {
    const int64_t day = 24 * 3600;
    const int64_t jan15 = 1042588800 + day / 2; // 2003-01-15
    std::vector<std::string> dates = {shortDate(jan15 + 17 * day), shortDate(jan15 - 15 * day),
                                      shortDate(jan15)};
    {
        UndoLog log;
        ASSERT_TRUE(log.open(fx.program + "/tessvane.mdb"));
        for (size_t i = 0; i < dates.size(); ++i)
            log.insert({dates[i], "/old/" + std::to_string(i), "/new/" + std::to_string(i)});
    }
    ASSERT_TRUE(start());
    showTab("Undo");
    clickHeader("lvUndo", 0);
    auto* model = child<QTreeView>("lvUndo")->model();
    QStringList order;
    for (int r = 0; r < model->rowCount(); ++r)
        order << model->index(r, 1).data().toString();
    // 2002-12-31, 2003-01-15, 2003-02-01, whatever the texts' order.
    EXPECT_EQ(order, (QStringList{"/new/1", "/new/2", "/new/0"}));
    QHeaderView* header = child<QTreeView>("lvUndo")->header();
    EXPECT_TRUE(header->isSortIndicatorShown());
    EXPECT_EQ(header->sortIndicatorSection(), 0);

    // The records read again after a run keep the order the arrow shows:
    // today's moves after the old ones.
    click("cmdRun");
    showTab("Undo");
    ASSERT_EQ(model->rowCount(), 6);
    for (int r = 0; r < 3; ++r)
        EXPECT_EQ(model->index(r, 1).data().toString(), order[r]);
    EXPECT_EQ(header->sortIndicatorSection(), 0);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
}

namespace {

// An edit as a text editor makes it: a new file renamed over the old one.
void editOnDisk(const std::string& path, const std::string& content) {
    tvtest::writeFile(path + ".new", content);
    std::filesystem::rename(path + ".new", path);
}

} // namespace

TEST_F(MainWindowTest, NeverMoveEditsMadeElsewhereAreReadAndNotOverwritten) {
    ASSERT_TRUE(start());
    const std::string file = fx.program + "/TessvaneDontMove.ini";
    auto* lstNM = child<QListWidget>("lstNM");
    // No unsaved edits here: the tab reads the file again by itself.
    editOnDisk(file, "DM-*\r\n");
    QTRY_COMPARE(lstNM->count(), 1);
    EXPECT_EQ(lstNM->item(0)->text(), "DM-*");
    QTRY_COMPARE(listColumn(2), (QStringList{"True", "", ""}));
    // A save from the tab keeps what the editor added.
    click("cmdNMSave");
    EXPECT_EQ(tvtest::readFile(file), "DM-*\r\n");
    EXPECT_TRUE(prompter.shown.empty());

    // Unsaved edits here and a change there: the user says which to keep.
    child<QLineEdit>("txtNMAdd")->setText("Song.ogg");
    QTest::keyClick(child<QLineEdit>("txtNMAdd"), Qt::Key_Return); // Return adds
    ASSERT_EQ(lstNM->count(), 2);
    prompter.answers = {false}; // No: the file's list
    editOnDisk(file, "DM-*\r\nTex.utx\r\n");
    QTRY_COMPARE(prompter.shown.size(), size_t(1));
    EXPECT_EQ(prompter.shown[0].title, "Never Move List Changed");
    QTRY_COMPARE(lstNM->count(), 2);
    EXPECT_EQ(lstNM->item(1)->text(), "Tex.utx");
    EXPECT_TRUE(child<QLabel>("Label8")->isHidden());

    child<QLineEdit>("txtNMAdd")->setText("Song.ogg");
    click("cmdNMAdd");
    prompter.answers = {true}; // Yes: the edits made here
    editOnDisk(file, "Other.u\r\n");
    QTRY_COMPARE(prompter.shown.size(), size_t(2));
    EXPECT_EQ(lstNM->count(), 3);
    click("cmdNMSave");
    EXPECT_EQ(tvtest::readFile(file), "DM-*\r\nTex.utx\r\nSong.ogg\r\n");
    EXPECT_EQ(prompter.shown.size(), 2u); // the kept choice is not asked again
}

TEST_F(MainWindowTest, ExitWithUnsavedNeverMoveEditsAsksFirst) {
    const std::string file = fx.program + "/TessvaneDontMove.ini";
    ASSERT_TRUE(start());
    child<QLineEdit>("txtNMAdd")->setText("Song.ogg");
    click("cmdNMAdd");
    prompter.choices = {Choice::Cancel};
    click("cmdExit");
    EXPECT_TRUE(window->isVisible());
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text, "Save the changes to the never-move list?");
    EXPECT_EQ(tvtest::readFile(file), "");
    prompter.choices = {Choice::Yes};
    click("cmdExit");
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(tvtest::readFile(file), "Song.ogg\r\n");

    ASSERT_TRUE(start());
    child<QLineEdit>("txtNMAdd")->setText("Tex.utx");
    click("cmdNMAdd");
    prompter.choices = {Choice::No};
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(tvtest::readFile(file), "Song.ogg\r\n");
}

TEST_F(MainWindowTest, EachTypeBoxTicksItsOwnFilesAndIsKept) {
    fx.writeCacheIni({fx.addEntry(1, "M.ut2"), fx.addEntry(2, "T.utx"), fx.addEntry(3, "S.uax"),
                      fx.addEntry(4, "Mu.ogg"), fx.addEntry(5, "Sm.usx"), fx.addEntry(6, "A.ukx"),
                      fx.addEntry(7, "C.u")});
    const std::pair<const char*, int> boxes[] = {{"chkUT2", 0}, {"chkUTX", 1}, {"chkUAX", 2},
                                                 {"chkUMX", 3}, {"chkUSX", 4}, {"chkUKX", 5},
                                                 {"chkU", 6}};
    ASSERT_TRUE(start());
    for (const auto& [box, row] : boxes) {
        SCOPED_TRACE(box);
        QTest::mouseClick(child<QRadioButton>("optSelectOnly"), Qt::LeftButton);
        for (const auto& [other, unused] : boxes)
            child<QCheckBox>(other)->setChecked(std::string(other) == box);
        click("cmdCommitFileTypes");
        std::vector<bool> expected(7, false);
        expected[static_cast<size_t>(row)] = true;
        EXPECT_EQ(ticks(), expected);
        // Stored and read back as the same box.
        restart();
        EXPECT_TRUE(child<QCheckBox>(box)->isChecked());
        EXPECT_EQ(ticks(), expected);
    }
}

TEST_F(MainWindowTest, AChangedControlIsAChangedSettingAtOnce) {
    ASSERT_TRUE(start());
    const tv::Settings& s = window->session().settings();
    QTest::mouseClick(child<QRadioButton>("optSelectOnly"), Qt::LeftButton);
    const bool utx = s.UTX;
    QTest::mouseClick(child<QCheckBox>("chkUTX"), Qt::LeftButton);
    EXPECT_NE(s.UTX, utx);
    QTest::mouseClick(child<QRadioButton>("optMoveDir"), Qt::LeftButton);
    EXPECT_TRUE(s.moveDir);
    child<QLineEdit>("txtMoveDir")->setText("/somewhere/else");
    EXPECT_EQ(s.moveDirText, "/somewhere/else");
    child<QLineEdit>("txtPurgeCacheDays")->setText("12");
    EXPECT_EQ(window->session().housekeeping().purgeDaysText(), "12");
    QTest::mouseClick(child<QCheckBox>("chkUnZIPNoPreview"), Qt::LeftButton);
    EXPECT_TRUE(s.unzipNoPreview);
}

TEST_F(MainWindowTest, TheUndoListIsReadWhenItsTabIsShown) {
    ASSERT_TRUE(start());
    auto* model = child<QTreeView>("lvUndo")->model();
    click("cmdRun");
    EXPECT_EQ(model->rowCount(), 0); // not read for a tab nobody looks at
    showTab("Undo");
    EXPECT_EQ(model->rowCount(), 3);
    // Shown while the records change: read again at once.
    prompter.answers = {true};
    model->setData(model->index(0, 0), Qt::Checked, Qt::CheckStateRole);
    click("cmdUndo");
    EXPECT_EQ(model->rowCount(), 2);
}

namespace {

// A native UT2004 player folder under the fixture's home, with one map cached.
std::string addNativeUt2004(const GameFixture& fx) {
    const std::string user = fx.home + "/.ut2004";
    tvtest::writeFile(user + "/System/UT2004.ini",
                      "[Core.System]\nPurgeCacheDays=0\nCachePath=../Cache\nCacheExt=.uxx\n");
    tvtest::writeFile(user + "/Cache/" + tvtest::ident(9) + ".uxx", "map");
    tvtest::writeFile(user + "/Cache/cache.ini",
                      "[Cache]\n" + tvtest::ident(9) + "-1=DM-Native.ut2\n");
    return user;
}

} // namespace

TEST_F(MainWindowTest, TheFirstStartOffersTheInstallsFound) {
    const std::string user = addNativeUt2004(fx);
    tvtest::TempDir empty;
    RegistryStore fresh(empty / "registry.reg");
    prompter.picks = {0};
    window = std::make_unique<MainWindow>(fx.program, fresh, prompter, shell);
    window->setQuitOnShutdown(false);
    ASSERT_TRUE(window->startUp());
    tvtest::settleWindow(*window);
    ASSERT_EQ(prompter.lists.size(), 1u);
    const ListRequest& offered = prompter.lists[0];
    EXPECT_EQ(offered.title, "Choose Game");
    ASSERT_EQ(offered.rows.size(), 1u);
    EXPECT_EQ(offered.rows[0],
              (std::vector<std::string>{"UT2004", "native", user, user + "/Cache", "1"}));
    EXPECT_EQ(window->session().install().userFolder, user);
    EXPECT_EQ(listColumn(0), QStringList{"DM-Native.ut2"});
    EXPECT_EQ(fresh.value(tvtest::kGameKey, "Folder")->data, user + std::string(1, '\0'));
    EXPECT_EQ(fresh.value(tvtest::kSettingsKey, "Game")->data, std::string("UT2004") + '\0');
    EXPECT_EQ(fresh.value(tvtest::kSettingsKey, "GameKind")->data, std::string("native") + '\0');
}

TEST_F(MainWindowTest, ChooseGameSwitchesToAnotherInstallAndScansIt) {
    ASSERT_TRUE(start());
    EXPECT_EQ(listColumn(0).size(), 3);
    const QString before = QString::fromStdString("UT2003 (chosen folder) \u2014 " + fx.cache);
    QTRY_COMPARE(child<QLabel>("lblGame")->text(), before);
    const std::string user = addNativeUt2004(fx);
    prompter.picks = {0};
    trigger("mnuToolsChooseGame");
    // The Status tab and the title name the game and cache worked on now.
    QTRY_COMPARE(child<QLabel>("lblGame")->text(),
                 QString("UT2004 (native) \u2014 ~/.ut2004/Cache"));
    EXPECT_EQ(window->windowTitle(),
              QString("Tessvane \u2014 UT2004 (native) \u2014 ~/.ut2004/Cache"));
    EXPECT_EQ(child<QLabel>("Label1")->text().toStdString(),
              "Cache Directory = " + user + "/Cache");
    ASSERT_EQ(prompter.lists.size(), 1u);
    // The folder chosen before is offered too.
    ASSERT_EQ(prompter.lists[0].rows.size(), 2u);
    EXPECT_EQ(prompter.lists[0].rows[1][2], fx.game);
    EXPECT_EQ(prompter.lists[0].rows[1][1], "chosen");
    EXPECT_EQ(prompter.lists[0].selected, 1u); // the game worked on so far
    EXPECT_EQ(window->session().install().userFolder, user);
    EXPECT_EQ(window->session().settings().cacheDir, user + "/Cache");
    EXPECT_EQ(listColumn(0), QStringList{"DM-Native.ut2"});
    // Cancelled: nothing changes.
    trigger("mnuToolsChooseGame");
    EXPECT_EQ(window->session().install().userFolder, user);
}

TEST_F(MainWindowTest, TheStateColumnFillsAfterTheListAppears) {
    fx.addCacheFile(tvtest::ident(7) + ".uxx", tvtest::makePackage(7, "ours"));
    tvtest::writeFile(fx.game + "/Maps/DM-Theirs.ut2", tvtest::makePackage(70, "theirs"));
    fx.writeCacheIni({fx.addEntry(1, "DM-One.ut2"), tvtest::ident(7) + "=DM-Theirs.ut2",
                      fx.addEntry(8, "Broken.utx")});
    tvtest::writeFile(fx.cache + "/" + tvtest::ident(1) + ".uxx", tvtest::makePackage(1, "one"));
    fx.addCacheFile(tvtest::ident(8) + ".uxx", "no package header here"); // damaged
    ASSERT_TRUE(start());
    auto* view = child<QTreeView>("ListView1");
    auto* model = view->model();
    ASSERT_EQ(model->columnCount(), 5);
    EXPECT_EQ(model->headerData(3, Qt::Horizontal).toString(), "State");
    EXPECT_EQ(model->headerData(4, Qt::Horizontal).toString(), "Needs");
    // The list is there at once; the states come a moment later.
    ASSERT_EQ(listColumn(0), (QStringList{"DM-One.ut2", "DM-Theirs.ut2", "Broken.utx"}));
    QTRY_COMPARE(listColumn(3), (QStringList{"new", "other version", "damaged"}));
    const QModelIndex other = model->index(1, 0);
    EXPECT_EQ(other.data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Unchecked);
    EXPECT_NE(other.data(Qt::ForegroundRole).value<QBrush>().color(), QColor(Qt::black));
    EXPECT_TRUE(other.data(Qt::ToolTipRole).toString().contains("version mismatches"));
    // A damaged package: unticked, drawn apart, and the tip says why.
    const QModelIndex damaged = model->index(2, 0);
    EXPECT_EQ(damaged.data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Unchecked);
    EXPECT_TRUE(damaged.data(Qt::ForegroundRole).isValid());
    EXPECT_TRUE(damaged.data(Qt::ToolTipRole).toString().contains("game cannot load it"));
    EXPECT_TRUE(damaged.data(Qt::ToolTipRole).toString().contains("(no package header)"));
    EXPECT_EQ(model->index(0, 0).data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Checked);
    // Ticked by hand, it asks first: No leaves it out, Yes ticks it.
    prompter.answers = {false};
    model->setData(damaged, Qt::Checked, Qt::CheckStateRole);
    EXPECT_EQ(damaged.data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Unchecked);
    ASSERT_FALSE(prompter.shown.empty());
    EXPECT_EQ(prompter.shown.back().text.rfind("Broken.utx is damaged (no package header)", 0), 0u);
    prompter.answers = {true};
    model->setData(damaged, Qt::Checked, Qt::CheckStateRole);
    EXPECT_EQ(damaged.data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Checked);
}

// Files moved behind the window's back (the watch after a game, another
// Tessvane): the File List says it is out of date until Re-Scan; the
// window's own run does not count.
TEST_F(MainWindowTest, TheFileListSaysWhenTheCacheChangedBehindItsBack) {
    ASSERT_TRUE(start());
    auto* stale = child<QLabel>("lblStale");
    EXPECT_TRUE(stale->isHidden());
    click("cmdRun");
    QApplication::processEvents();
    EXPECT_TRUE(stale->isHidden());
    fx.writeCacheIni({fx.addEntry(5, "DM-Later.ut2")});
    QTRY_VERIFY(!stale->isHidden());
    click("cmdRescan");
    EXPECT_TRUE(stale->isHidden());
    EXPECT_TRUE(listColumn(0).contains("DM-Later.ut2"));
    // Written in place, as the game writes it while it downloads.
    {
        std::ofstream index(fx.cache + "/Cache.ini", std::ios::app | std::ios::binary);
        index << fx.addEntry(6, "DM-Latest.ut2") << "\r\n";
    }
    QTRY_VERIFY(!stale->isHidden());
}

TEST_F(MainWindowTest, TheNeedsColumnCountsWhatIsMissingAndTicksWhatTheCacheHas) {
    using tvtest::makePackageTables;
    tvtest::writeFile(fx.game + "/System/Core.u", makePackageTables({}));
    fx.addCacheFile(tvtest::ident(1) + ".uxx", makePackageTables({{"Core", "Package", 0, "Core"},
                                                                  {"Core", "Package", 0, "NeedTex"},
                                                                  {"Core", "Package", 0, "Gone"}}));
    fx.addCacheFile(tvtest::ident(2) + ".uxx", makePackageTables({}));
    fx.addCacheFile(tvtest::ident(3) + ".uxx", makePackageTables({}));
    fx.writeCacheIni({tvtest::ident(1) + "=DM-Needy.ut2", tvtest::ident(2) + "=NeedTex.utx",
                      tvtest::ident(3) + "=Other.utx"});
    ASSERT_TRUE(start());
    auto* view = child<QTreeView>("ListView1");
    QTRY_COMPARE(listColumn(3), (QStringList{"new", "new", "new"}));
    EXPECT_EQ(listColumn(4), (QStringList{"1", "", ""}));
    const QString tip = view->model()->index(0, 4).data(Qt::ToolTipRole).toString();
    for (const char* part :
         {"NeedTex: in the cache as NeedTex.utx", "Gone: missing", "Looked for in"})
        EXPECT_TRUE(tip.contains(part)) << tip.toStdString();
    EXPECT_FALSE(tip.contains("Core")) << tip.toStdString(); // installed
    // Offered only for a row that needs cached packages; ticks only those.
    click("cmdUncheck");
    auto* tick = child<QPushButton>("cmdTickNeeds");
    view->setCurrentIndex(view->model()->index(2, 0));
    EXPECT_FALSE(tick->isEnabled());
    view->setCurrentIndex(view->model()->index(0, 0));
    ASSERT_TRUE(tick->isEnabled());
    click("cmdTickNeeds");
    EXPECT_EQ(window->session().fileList().selectedNames(),
              (std::unordered_set<std::string>{"DM-Needy.ut2", "NeedTex.utx"}));
}

TEST_F(MainWindowTest, TidyCacheSaysWhatItWillDoAndAsksFirst) {
    fx.addCacheFile(tvtest::ident(5) + ".uxx", tvtest::makePackage(5, "dup"));
    tvtest::writeFile(fx.game + "/Maps/DM-Dup.ut2", tvtest::makePackage(5, "dup"));
    fx.addCacheFile(tvtest::ident(6) + ".uxx", "orphan");
    fx.writeCacheIni({fx.addEntry(1, "DM-One.ut2"), tvtest::ident(5) + "=DM-Dup.ut2"});
    ASSERT_TRUE(start());
    EXPECT_EQ(listColumn(0).size(), 2);
    // No to both: nothing changes.
    prompter.answers = {false, false};
    click("cmdTidy");
    ASSERT_EQ(prompter.shown.size(), 2u);
    EXPECT_EQ(prompter.shown[0].title, "Tidy Cache");
    EXPECT_NE(prompter.shown[0].text.find("Delete 1 cache file (67 bytes) identical"),
              std::string::npos)
        << prompter.shown[0].text;
    // The fixture's other two cache files lost their lines above.
    EXPECT_NE(prompter.shown[1].text.find("3 files in the cache ("), std::string::npos)
        << prompter.shown[1].text;
    EXPECT_TRUE(tvtest::exists(fx.cache + "/" + tvtest::ident(5) + ".uxx"));
    // Yes to the duplicates only.
    prompter.answers = {true, false};
    click("cmdTidy");
    EXPECT_FALSE(tvtest::exists(fx.cache + "/" + tvtest::ident(5) + ".uxx"));
    EXPECT_TRUE(tvtest::exists(fx.cache + "/" + tvtest::ident(6) + ".uxx"));
    EXPECT_EQ(listColumn(0), QStringList{"DM-One.ut2"});
    EXPECT_EQ(statusText(), "1 file and 67 bytes freed; 1 line removed from Cache.ini");
    // Said once, and last.
    EXPECT_EQ(statusLines().count("1 file and 67 bytes freed; 1 line removed from Cache.ini"), 1)
        << statusLines().join("\n").toStdString();
    EXPECT_GE(statusRow("Deleted " + QString::fromStdString(tvtest::ident(5))), 0);
    // One file alone is spoken of as one.
    for (int gone : {2, 3})
        std::filesystem::remove(fx.cache + "/" + tvtest::ident(gone) + ".uxx");
    prompter.answers = {false};
    prompter.shown.clear();
    click("cmdTidy");
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text, "1 file in the cache (6 bytes) is named by no line of "
                                      "Cache.ini: the game does not know it.\n\nDelete it?");
}

// Finding the installs and counting their indexes, and planning a tidy (a
// byte comparison of every copy), happen off the window's thread: an event
// posted before the click is handled before the chooser or the first
// question appears. The tidy carries out the plan that was confirmed.
TEST_F(MainWindowTest, TheWindowAnswersWhileGamesAreFoundAndATidyIsPlanned) {
    fx.addCacheFile(tvtest::ident(5) + ".uxx", tvtest::makePackage(5, "dup"));
    tvtest::writeFile(fx.game + "/Maps/DM-Dup.ut2", tvtest::makePackage(5, "dup"));
    fx.writeCacheIni({fx.addEntry(1, "DM-One.ut2"), tvtest::ident(5) + "=DM-Dup.ut2"});
    ASSERT_TRUE(start());
    addNativeUt2004(fx);
    auto askedBeforeAnswering = [&](const std::function<void()>& act,
                                    const std::function<size_t()>& asked) {
        const size_t before = asked();
        std::optional<size_t> seen;
        QTimer::singleShot(0, window.get(), [&] { seen = asked(); });
        act();
        EXPECT_EQ(seen, std::optional<size_t>(before));
    };
    askedBeforeAnswering([&] { trigger("mnuToolsChooseGame"); },
                         [&] { return prompter.lists.size(); });
    EXPECT_EQ(prompter.lists.size(), 1u);

    // The plan shown holds one copy; a second one appears while it is asked.
    const std::string second = tvtest::ident(8) + ".uxx";
    prompter.answers = {true};
    prompter.onQuestion = [&] {
        fx.addCacheFile(second, tvtest::makePackage(8, "late"));
        tvtest::writeFile(fx.game + "/Textures/Late.utx", tvtest::makePackage(8, "late"));
        fx.writeCacheIni({fx.addEntry(1, "DM-One.ut2"), tvtest::ident(5) + "=DM-Dup.ut2",
                          tvtest::ident(8) + "=Late.utx"});
        prompter.onQuestion = nullptr;
    };
    const size_t shownBefore = prompter.shown.size();
    askedBeforeAnswering([&] { click("cmdTidy"); }, [&] { return prompter.shown.size(); });
    ASSERT_GT(prompter.shown.size(), shownBefore);
    EXPECT_NE(prompter.shown[shownBefore].text.find("Delete 1 cache file"), std::string::npos)
        << prompter.shown[shownBefore].text;
    EXPECT_FALSE(tvtest::exists(fx.cache + "/" + tvtest::ident(5) + ".uxx"));
    EXPECT_TRUE(tvtest::exists(fx.cache + "/" + second)); // never shown, never deleted
}

// The Options box that starts the watch with the desktop: by systemd where
// the user has a systemd session, else by the autostart entry (and a watch
// started at once); the line under it says whether a watch runs.
TEST_F(MainWindowTest, MovesAfterEachGameTurnOnAndOffWithAndWithoutSystemd) {
    tvtest::TempDir bin;
    const std::string calls = bin / "calls";
    // A systemctl whose user manager answers once the file `systemd` is there.
    tvtest::writeFile(bin / "systemctl", "#!/bin/sh\necho \"$*\" >>'" + calls + "'\n[ -e '" +
                                             (bin / "systemd") +
                                             "' ] || exit 1\ncase \"$2\" in\n  is-enabled) [ -e '" +
                                             (bin / "enabled") + "' ];;\n  enable) touch '" +
                                             (bin / "enabled") + "';;\n  disable) rm -f '" +
                                             (bin / "enabled") + "';;\n  cat) exit 1;;\nesac\n");
    std::filesystem::permissions(bin / "systemctl", std::filesystem::perms::owner_all);
    struct Env {
        std::string path = ::getenv("PATH");
        Env(const std::string& bin, const GameFixture& fx) {
            ::setenv("PATH", (bin + ":" + path).c_str(), 1);
            // The watch the window starts shares its folders, as installed.
            ::setenv("TESSVANE_REGISTRY", fx.registry.c_str(), 1);
            ::setenv("TESSVANE_HOME", fx.program.c_str(), 1);
        }
        ~Env() {
            ::setenv("PATH", path.c_str(), 1);
            ::unsetenv("TESSVANE_REGISTRY");
            ::unsetenv("TESSVANE_HOME");
        }
    } env(bin.path(), fx);
    ASSERT_TRUE(start());
    const std::string lock = watchLockFile(fx.program, fx.game);
    struct NoWatchLeft {
        std::string lock;
        ~NoWatchLeft() {
            if (pid_t pid = watchHolder(lock); pid > 0) ::kill(pid, SIGKILL);
        }
    } cleanup{lock};
    auto* tabs = child<QTabWidget>("Tab1");
    for (int i = 0; i < tabs->count(); ++i)
        if (tabs->tabText(i) == "Options") tabs->setCurrentIndex(i);
    auto* box = child<QCheckBox>("chkAfterGame");
    auto* line = child<QLabel>("lblAfterGame");
    // The system is asked off the window's thread, the box disabled meanwhile.
    auto answered = [&] { QTRY_VERIFY(box->isEnabled()); };
    answered();
    EXPECT_EQ(line->text(), QString("Not running"));
    EXPECT_FALSE(box->isChecked());

    // No systemd user session: the autostart entry, and the watch now.
    box->click();
    answered();
    const std::string entry = fx.home + "/.config/autostart/tessvane-watch.desktop";
    EXPECT_NE(tvtest::readFile(entry).find("tessvane-cli\" watch\n"), std::string::npos);
    const QString running("Running");
    QElapsedTimer waited;
    for (waited.start(); line->text() != running && waited.elapsed() < 10000;)
        QTest::qWait(20);
    EXPECT_EQ(line->text(), running);
    EXPECT_EQ(line->toolTip(),
              "The watch runs; it starts with the desktop by the desktop's autostart");
    EXPECT_GT(watchHolder(lock), 0);
    box->click();
    answered();
    EXPECT_FALSE(tvtest::exists(entry));
    EXPECT_EQ(watchHolder(lock), 0);
    EXPECT_FALSE(box->isChecked());

    // systemd: systemctl --user does it, with a unit of the user's own when
    // none is installed.
    tvtest::writeFile(bin / "systemd", "");
    box->click();
    answered();
    const std::string unit = fx.home + "/.config/systemd/user/tessvane-watch.service";
    EXPECT_NE(tvtest::readFile(unit).find("tessvane-cli\" watch\n"), std::string::npos);
    EXPECT_NE(tvtest::readFile(calls).find("--user daemon-reload\n--user enable --now "
                                           "tessvane-watch.service\n"),
              std::string::npos)
        << tvtest::readFile(calls);
    EXPECT_TRUE(box->isChecked());
    EXPECT_EQ(line->text(), "Starts at next login");
    EXPECT_EQ(
        line->toolTip().toStdString(),
        "The watch does not run now; it starts with the next login by a systemd user service");
    box->click();
    answered();
    EXPECT_NE(tvtest::readFile(calls).find("--user disable --now tessvane-watch.service"),
              std::string::npos);
    EXPECT_FALSE(tvtest::exists(unit)); // its own unit does not outlive the program
    EXPECT_FALSE(box->isChecked());
}
