// What a user sees of the window: whole lines, whole paths, controls that
// stay where they are, safe default answers.
#include "main_window_fixture.h"
#include "map_writer.h"
#include "observer_hook.h"

#include "formats/map_facts.h"
#include "store/undo_log.h"
#include "ui/qt/qt_prompter.h"
#include "window/map_preview.h"
#include "window/single_instance.h"
#include "window/work_runner.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMessageBox>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QThread>
#include <QTimer>
#include <QTreeView>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <stdexcept>
#include <thread>
#include <unistd.h>

using namespace tv;
using tvtest::MainWindowTest;

TEST_F(MainWindowTest, StatusLinesAreWholeAndScrollSideways) {
    ASSERT_TRUE(start());
    window->resize(640, 480);
    auto* list = child<QListView>("List1");
    const std::string longLine = "**OLD** x  ---->  **NEW** /" + std::string(400, 'p') + "/end.ut2";
    window->session().addStatusLine(longLine);
    EXPECT_EQ(statusLines().back().toStdString(), longLine);
    QApplication::processEvents();
    EXPECT_EQ(list->textElideMode(), Qt::ElideNone);
    EXPECT_GT(list->horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(child<QListWidget>("lstNM")->textElideMode(), Qt::ElideNone);
}

// A long session of big runs: the Status list (the session's and the
// window's) keeps the newest lines, never an ever-growing heap of them.
TEST_F(MainWindowTest, TheStatusListKeepsTheNewestLinesOnly) {
    ASSERT_TRUE(start());
    const size_t kept = Session::kStatusLinesKept;
    for (size_t i = 0; i < 2 * kept + 10; ++i)
        window->session().addStatusLine("line " + std::to_string(i));
    const QStringList shown = statusLines();
    const auto& held = window->session().statusList();
    for (size_t count : {static_cast<size_t>(shown.size()), held.size()}) {
        EXPECT_GE(count, kept);
        EXPECT_LT(count, 2 * kept);
    }
    EXPECT_EQ(shown.back().toStdString(), "line " + std::to_string(2 * kept + 9));
    EXPECT_EQ(held.back(), "line " + std::to_string(2 * kept + 9));
}

// Every line's room covers its text as the font draws it: plain paths (whose
// width comes from a table of character advances) and names in other
// scripts alike, or the end of a path would be cut off.
TEST_F(MainWindowTest, StatusLinesGetRoomForTheirWholeText) {
    ASSERT_TRUE(start());
    const std::vector<std::string> lines = {
        "**OLD** WWWWWWWWWW.utx  ---->  **NEW** /games/ut/Textures/WWWWWWWWWW.utx",
        "**OLD** iiiiiiiiii.utx  ---->  **NEW** /games/ut/Textures/iiiiiiiiii.utx",
        "**OLD** Kärtchen-Ωmega.ut2  ---->  **NEW** /games/ut/Maps/Kärtchen-Ωmega.ut2",
        "**OLD** 地图.ut2  ---->  **NEW** /games/ut/Maps/地图.ut2"};
    for (const auto& line : lines)
        window->session().addStatusLine(line);
    statusLines(); // shown now
    auto* list = child<QListView>("List1");
    const QFontMetrics metrics(list->font());
    auto* model = list->model();
    ASSERT_EQ(model->rowCount(), static_cast<int>(lines.size()));
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex index = model->index(row, 0);
        const QString text = index.data(Qt::DisplayRole).toString();
        EXPECT_GE(index.data(Qt::SizeHintRole).toSize().width(), metrics.horizontalAdvance(text))
            << text.toStdString();
    }
}

TEST_F(MainWindowTest, ListsShowWholePathsInTheirToolTips) {
    const std::string longPath = fx.game + "/Maps/" + std::string(120, 'm') + ".ut2";
    {
        UndoLog log;
        ASSERT_TRUE(log.open(fx.program + "/tessvane.mdb"));
        log.insert({"01/02/03", fx.cache + "/" + tvtest::ident(9) + ".uxx", longPath});
    }
    ASSERT_TRUE(start());
    showTab("Undo");
    auto* undo = child<QTreeView>("lvUndo");
    EXPECT_EQ(undo->textElideMode(), Qt::ElideMiddle);
    EXPECT_EQ(undo->model()->index(0, 1).data(Qt::ToolTipRole).toString().toStdString(), longPath);
    EXPECT_EQ(child<QTreeView>("ListView1")->textElideMode(), Qt::ElideMiddle);
    EXPECT_EQ(child<QTreeView>("ListView1")->model()->index(0, 0).data(Qt::ToolTipRole).toString(),
              "DM-One.ut2");
}

TEST_F(MainWindowTest, FolderOptionsKeepTheirRoomWhenTheyHideTheirBoxes) {
    ASSERT_TRUE(start());
    child<QTabWidget>("Tab1")->setCurrentIndex(2);
    QApplication::processEvents();
    auto* box2 = child<QLineEdit>("txtMoveDir2");
    auto* option2 = child<QRadioButton>("optMoveDir2");
    QTest::mouseClick(child<QRadioButton>("optMoveDir"), Qt::LeftButton);
    QApplication::processEvents();
    const QRect before = option2->geometry();
    QTest::mouseClick(child<QRadioButton>("optMoveNorm"), Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_TRUE(box2->isHidden());
    EXPECT_EQ(option2->geometry(), before);
}

TEST_F(MainWindowTest, NeverMoveRowsCannotBeTicked) {
    fx.writeNeverMove({"tex*"});
    ASSERT_TRUE(start());
    auto* model = child<QTreeView>("ListView1")->model();
    EXPECT_FALSE(model->flags(model->index(1, 0)) & Qt::ItemIsUserCheckable);
    EXPECT_TRUE(model->flags(model->index(0, 0)) & Qt::ItemIsUserCheckable);
    EXPECT_FALSE(model->setData(model->index(1, 0), Qt::Checked, Qt::CheckStateRole));
    EXPECT_EQ(model->index(1, 0).data(Qt::ToolTipRole).toString(),
              "Tex.utx is on the never-move list");
    click("cmdCheck");
    EXPECT_EQ(ticks(), (std::vector<bool>{true, false, true}));
}

TEST_F(MainWindowTest, TheNeverMoveBoxHintIsNoText) {
    ASSERT_TRUE(start());
    auto* box = child<QLineEdit>("txtNMAdd");
    EXPECT_TRUE(box->text().isEmpty());
    // A map of these games (not the older game's .unr) as the example.
    EXPECT_EQ(box->placeholderText(), "Type in the full filename (ex - CTF-Face3.ut2)");
    const int before = child<QListWidget>("lstNM")->count();
    click("cmdNMAdd");
    EXPECT_EQ(child<QListWidget>("lstNM")->count(), before);
    EXPECT_EQ(prompter.messageTexts().back(),
              "Please type the Never Move text before pressing Add...");
}

namespace {

// Answers the message box that the next question opens with `button`, after
// `inspect` has looked at it. A box that never shows fails the test instead
// of leaving the question waiting for ever.
void answerNextBox(QMessageBox::StandardButton button, std::function<void(QMessageBox*)> inspect,
                   int triesLeft = 200) {
    QTimer::singleShot(10, [=] {
        QMessageBox* box = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible()) box = b;
        if (!box) {
            if (triesLeft > 0) return answerNextBox(button, inspect, triesLeft - 1);
            ADD_FAILURE() << "no message box showed";
            std::abort(); // the question would wait for ever
        }
        inspect(box);
        box->button(button)->click();
    });
}

} // namespace

TEST(QtPrompterQuestions, TheSafeAnswerIsTheDefault) {
    QtPrompter prompter;
    Prompter& asked = prompter;
    bool defaultIsNo = false;
    answerNextBox(QMessageBox::No, [&](QMessageBox* box) {
        defaultIsNo = box->defaultButton() == box->button(QMessageBox::No);
    });
    EXPECT_FALSE(asked.question("Are you sure you want to DELETE all cache files?"));
    EXPECT_TRUE(defaultIsNo);

    bool defaultIsCancel = false, escapeIsCancel = false;
    answerNextBox(QMessageBox::Yes, [&](QMessageBox* box) {
        defaultIsCancel = box->defaultButton() == box->button(QMessageBox::Cancel);
        escapeIsCancel = box->escapeButton() == box->button(QMessageBox::Cancel);
    });
    EXPECT_EQ(asked.choose("Save the changes to the never-move list?"), Choice::Yes);
    EXPECT_TRUE(defaultIsCancel);
    EXPECT_TRUE(escapeIsCancel);
}

// The game's folder chooser shows dot folders (~/.ut2004, ~/.wine), where
// a player looks when discovery found nothing.
TEST(QtPrompterFolders, TheFolderChooserShowsHiddenFolders) {
    QtPrompter prompter;
    bool hiddenShown = false, ownDialog = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        hiddenShown = dialog->filter().testFlag(QDir::Hidden);
        ownDialog = dialog->testOption(QFileDialog::DontUseNativeDialog);
        dialog->reject();
    });
    EXPECT_EQ(static_cast<Prompter&>(prompter).browseForFolder("Choose the root UT folder:"), "");
    EXPECT_TRUE(hiddenShown);
    EXPECT_TRUE(ownDialog);
}

// A mail link with no mail program to take it fails, so that the caller
// can say where to write instead of nothing happening.
TEST(QtShellMail, AMailLinkWithNoMailProgramFails) {
    tvtest::TempDir bin;
    tvtest::writeFile(bin / "xdg-mime", "#!/bin/sh\necho \"$@\" > \"$(dirname \"$0\")/asked\"\n");
    std::filesystem::permissions(bin / "xdg-mime", std::filesystem::perms::owner_all);
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", (bin.path() + ":" + path).c_str(), 1);
    QtShell shell;
    const bool opened = shell.openDocument("mailto:someone@example.org?subject=Report");
    ::setenv("PATH", path.c_str(), 1);
    EXPECT_FALSE(opened);
    EXPECT_EQ(tvtest::readFile(bin / "asked"), "query default x-scheme-handler/mailto\n");
}

// A second start of the same settings brings the open window forward
// ("Open Tessvane" from a notice) instead of opening another; other
// settings start a window of their own.
TEST(SingleInstance, ASecondStartHandsOverToTheOpenWindow) {
    const QString key = singleInstanceKey("/tmp/one-" + std::to_string(::getpid()), "/r.reg");
    SingleInstance first(key);
    ASSERT_FALSE(first.handedToRunning());
    QSignalSpy raised(&first, &SingleInstance::raiseRequested);
    SingleInstance second(key);
    EXPECT_TRUE(second.handedToRunning());
    EXPECT_TRUE(raised.count() > 0 || raised.wait(5000));
    SingleInstance other(singleInstanceKey("/tmp/two-" + std::to_string(::getpid()), "/r.reg"));
    EXPECT_FALSE(other.handedToRunning());
}

TEST_F(MainWindowTest, TheRunButtonAndMenuItemAreOneCommand) {
    ASSERT_TRUE(start());
    auto* action = window->findChild<QAction*>("mnuFileRun");
    auto* button = child<QPushButton>("cmdRun");
    bool disabledWhileRunning = false;
    tvtest::ObserverHook hook(window->session());
    hook.onRunningChanged = [&] {
        if (window->session().busy())
            disabledWhileRunning = !action->isEnabled() && !button->isEnabled();
    };
    click("cmdRun");
    EXPECT_TRUE(disabledWhileRunning);
    EXPECT_TRUE(tvtest::exists(fx.game + "/Maps/DM-One.ut2"));
    EXPECT_TRUE(action->isEnabled());
    EXPECT_TRUE(button->isEnabled());
    action->setEnabled(false);
    EXPECT_FALSE(button->isEnabled());
}

// A small screen (800x560) takes the whole window, and each tab there has
// the room it asks for: every control whole, wrapped notes included, and a
// long cache folder (on the File List and the Status tab) gives way.
TEST_F(MainWindowTest, TheWindowFitsASmallScreenWithEveryTabWhole) {
    ASSERT_TRUE(start());
    // It opens no larger than the screen it is on.
    ASSERT_NE(window->screen(), nullptr);
    const QSize screenSize = window->screen()->availableGeometry().size();
    EXPECT_LE(window->width(), screenSize.width());
    EXPECT_LE(window->height(), screenSize.height());
    tvtest::TempDir far;
    const std::string folder = far / (std::string(120, 'c') + "/" + std::string(120, 'C'));
    tvtest::writeFile(folder + "/Cache.ini", "[Cache]\r\n");
    prompter.folders = {folder};
    click("cmdCacheDir");
    ASSERT_EQ(child<QLabel>("lblCacheDir")->text().toStdString(), folder);
    const QSize small(800, 560);
    const QSize least = window->minimumSizeHint().expandedTo(window->minimumSize());
    EXPECT_LE(least.width(), small.width());
    EXPECT_LE(least.height(), small.height());
    window->resize(small);
    QApplication::processEvents();
    EXPECT_EQ(window->size(), small);
    auto* tabs = child<QTabWidget>("Tab1");
    for (int t = 0; t < tabs->count(); ++t) {
        tabs->setCurrentIndex(t);
        QApplication::processEvents();
        QWidget* page = tabs->widget(t);
        const std::string name = tabs->tabText(t).toStdString();
        const QSize need = page->minimumSizeHint();
        EXPECT_LE(need.width(), page->width()) << name;
        EXPECT_LE(need.height(), page->height()) << name;
        if (page->hasHeightForWidth()) {
            EXPECT_LE(page->heightForWidth(page->width()), page->height()) << name;
        }
        for (auto* control : page->findChildren<QAbstractButton*>()) {
            if (!control->isVisible()) continue;
            EXPECT_GE(control->width(), control->minimumSizeHint().width())
                << name << ": " << control->text().toStdString();
        }
    }
}

// At the window's first size every column is in view whatever the names:
// the names (and the Undo list's two paths) share what the other columns
// leave, and those keep their whole texts; a wider window widens the names.
TEST_F(MainWindowTest, EveryColumnIsInViewAndTheNamesTakeTheRest) {
    fx.writeCacheIni({fx.addEntry(1, std::string(150, 'n') + ".ut2"), fx.addEntry(2, "Tex.utx")});
    {
        UndoLog log;
        ASSERT_TRUE(log.open(fx.program + "/tessvane.mdb"));
        log.insert({"01/02/03", fx.cache + "/" + std::string(150, 'o') + ".uxx",
                    fx.game + "/Maps/" + std::string(150, 'm') + ".ut2"});
    }
    ASSERT_TRUE(start());
    auto expectInView = [&](const char* name, std::set<int> stretching) {
        auto* view = child<QTreeView>(name);
        QHeaderView* header = view->header();
        for (int c = 0; c < header->count(); ++c) {
            EXPECT_LE(header->sectionViewportPosition(c) + header->sectionSize(c),
                      header->viewport()->width())
                << name << " column " << c;
            if (stretching.count(c)) {
                EXPECT_EQ(header->sectionResizeMode(c), QHeaderView::Stretch) << name << c;
                continue;
            }
            EXPECT_GE(header->sectionSize(c), header->sectionSizeHint(c)) << name << c;
            const QAbstractItemView* cells = view;
            EXPECT_GE(header->sectionSize(c), cells->sizeHintForColumn(c)) << name << c;
        }
        return header;
    };
    showTab("File List");
    QApplication::processEvents();
    QHeaderView* files = expectInView("ListView1", {0});
    // The longest state has its room before any state is known.
    EXPECT_GT(files->sectionSize(3),
              child<QTreeView>("ListView1")->fontMetrics().horizontalAdvance("other version"));
    showTab("Undo");
    QApplication::processEvents();
    QHeaderView* undo = expectInView("lvUndo", {1, 2});
    EXPECT_EQ(undo->sectionSize(1), undo->sectionSize(2));

    const int names = files->sectionSize(0);
    window->resize(window->width() + 200, window->height());
    showTab("File List");
    QApplication::processEvents();
    EXPECT_EQ(files->sectionSize(0), names + 200);
}

// Work off the window's thread: the result comes back by value, a throw
// comes back as words, and a context that went meanwhile hears nothing.
TEST(WorkRunner, ResultsThrowsAndGoneContextsComeBackOnTheWindowsThread) {
    WorkRunner runner;
    QObject context;
    std::optional<int> got;
    std::string failure;
    bool onWindowThread = false;
    runner.start([] { return 42; }).then(&context, [&](int v) {
        got = v;
        onWindowThread = QThread::currentThread() == qApp->thread();
    });
    runner.start([]() -> int { throw std::runtime_error("the disk went away"); })
        .then(
            &context, [&](int) { got = -1; }, [&](const std::string& t) { failure = t; });
    bool heard = false;
    {
        QObject gone;
        runner.start([] { std::this_thread::sleep_for(std::chrono::milliseconds(50)); })
            .then(&gone, [&] { heard = true; });
    }
    for (int i = 0; i < 1000 && (runner.running() > 0 || !got || failure.empty()); ++i) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(got, 42);
    EXPECT_TRUE(onWindowThread);
    EXPECT_EQ(failure, "the disk went away");
    EXPECT_FALSE(heard);
}

// The chosen map's picture and facts below the list, read beside the window;
// a row that is no map, or a map without a picture, says so.
TEST_F(MainWindowTest, TheChosenMapShowsItsPictureAndFacts) {
    tvtest::ue::MapSpec spec;
    spec.title = "Facing Worlds";
    spec.author = "Someone";
    spec.playersMin = 6;
    spec.playersMax = 12;
    spec.song = "KR-Face";
    spec.screenshotFormat = 5; // RGBA8, 4 x 4, pure green
    spec.shotWidth = 4;
    spec.shotHeight = 4;
    for (int i = 0; i < 16; ++i)
        spec.shotData += std::string("\x00\xFF\x00\xFF", 4);
    fx.addCacheFile(tvtest::ident(1) + ".uxx", tvtest::ue::mapBytes(spec));
    tvtest::ue::MapSpec bare;
    bare.title = "Bare";
    fx.addCacheFile(tvtest::ident(4) + ".uxx", tvtest::ue::mapBytes(bare));
    fx.writeCacheIni({tvtest::ident(1) + "=DM-One.ut2", fx.addEntry(2, "Tex.utx"),
                      tvtest::ident(4) + "=DM-Bare.ut2"});
    ASSERT_TRUE(start());
    // The states come after the rows, and the list is shown again with them.
    QTRY_VERIFY(!listColumn(3).contains(""));
    auto* view = child<QTreeView>("ListView1");
    auto* preview = child<tv::MapPreview>("filesMapPreview");
    const auto label = [&](const char* name) { return preview->findChild<QLabel*>(name); };
    const auto choose = [&](const QString& name) {
        for (int r = 0; r < view->model()->rowCount(); ++r)
            if (view->model()->index(r, 0).data().toString() == name) {
                QSignalSpy shown(preview, &tv::MapPreview::shown);
                view->setCurrentIndex(view->model()->index(r, 0));
                if (name.endsWith(".ut2")) {
                    EXPECT_TRUE(shown.count() > 0 || shown.wait(5000)) << name.toStdString();
                }
                return;
            }
        ADD_FAILURE() << name.toStdString() << " is not listed";
    };
    choose("DM-One.ut2");
    EXPECT_EQ(label("lblMapTitle")->text(), "Facing Worlds");
    EXPECT_EQ(label("lblMapDetails")->text(), QString::fromUtf8("6\u201312 players"));
    EXPECT_EQ(label("lblMapMusic")->text(), "Music: KR-Face.ogg (not installed)");
    const QImage shown = label("lblMapPicture")->pixmap().toImage();
    ASSERT_FALSE(shown.isNull());
    // Kept in its shape (square, in a box twice as wide) and its colour.
    EXPECT_EQ(shown.width(), shown.height());
    EXPECT_EQ(shown.pixelColor(shown.width() / 2, shown.height() / 2), QColor(0, 255, 0));
    choose("DM-Bare.ut2");
    EXPECT_EQ(label("lblMapNote")->text().toStdString(), tv::kNoPictureText);
    choose("Tex.utx");
    EXPECT_EQ(label("lblMapTitle")->text(), "");
    EXPECT_EQ(label("lblMapPicture")->text(), "No map chosen");
}
