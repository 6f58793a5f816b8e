// The window as a keyboard user and a returning player meet it: a key for
// every button, Help and Exit on their usual keys, secondary windows that
// open over the main one and close with Escape, a window that keeps its size
// and place, and an update check that never holds the program up.
#include "main_window_fixture.h"
#include "observer_hook.h"

#include "window/background_work.h"

#include "store/undo_log.h"
#include "ui/qt/qt_prompter.h"
#include "window/update_window.h"
#include "window/zip_tab.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QEventLoop>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include <cstdlib>
#include <map>
#include <set>

using namespace tv;
using tvtest::ident;
using tvtest::MainWindowTest;

namespace {

// The letter after the single "&" of a caption (upper case), or 0.
QChar mnemonic(const QString& caption) {
    for (int i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != '&') continue;
        if (caption[i + 1] == '&') {
            ++i;
            continue;
        }
        return caption[i + 1].toUpper();
    }
    return QChar();
}

// Fails for a push button without a key and for two controls sharing one.
void expectDistinctKeys(const QList<QAbstractButton*>& buttons, std::map<QChar, QString> taken,
                        const QString& where) {
    for (QAbstractButton* b : buttons) {
        const QString caption = b->text();
        const QChar key = mnemonic(caption);
        const bool hasLetters = caption.contains(QRegularExpression("[A-Za-z]"));
        if (qobject_cast<QPushButton*>(b) && hasLetters && b->objectName() != "cmdGetUpdate") {
            EXPECT_FALSE(key.isNull())
                << where.toStdString() << ": " << caption.toStdString() << " has no key";
        }
        if (key.isNull()) continue;
        auto [it, added] = taken.emplace(key, caption);
        EXPECT_TRUE(added) << where.toStdString() << ": " << caption.toStdString() << " and "
                           << it->second.toStdString() << " share Alt+"
                           << QString(key).toStdString();
    }
}

// Pages for an update check whose server never answers: the load waits
// until the check is stopped (a minute at most, so a failure cannot hang).
class SilentServerPages : public PageSource {
public:
    explicit SilentServerPages(bool& stopped) : m_stopped(stopped) {}
    bool OpenSite(const std::string&, short) override {
        QEventLoop loop;
        m_loop = &loop;
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        loop.exec();
        m_loop = nullptr;
        return false;
    }
    std::string GetTextBetweenText(const std::string&, const std::string&) override { return {}; }
    void abort() override {
        m_stopped = true;
        if (m_loop) m_loop->quit();
    }

private:
    bool& m_stopped;
    QEventLoop* m_loop = nullptr;
};

// The off-screen platform does not make a shown window the active one by
// itself; keys reach a window's shortcuts only when it is.
void activate(QWidget* window) {
    QApplication::setActiveWindow(window);
    ASSERT_EQ(QApplication::activeWindow(), window);
}

} // namespace

TEST_F(MainWindowTest, EveryButtonAndMenuHasAKeyOfItsOwn) {
    ASSERT_TRUE(start());
    // The first start's update check has ended: its window goes, the
    // Options tab's button reads as it always does.
    ASSERT_NE(window->updateWindow(), nullptr);
    window->updateWindow()->close();
    // Always there: the menu titles and the two buttons under the tabs.
    std::map<QChar, QString> global;
    for (QAction* menu : window->menuBar()->actions())
        global.emplace(mnemonic(menu->text()), menu->text());
    for (const char* name : {"cmdRun", "cmdExit", "cmdStop"}) {
        auto* b = child<QPushButton>(name);
        EXPECT_FALSE(mnemonic(b->text()).isNull()) << name;
        EXPECT_TRUE(global.emplace(mnemonic(b->text()), b->text()).second) << name;
    }
    auto* tabs = child<QTabWidget>("Tab1");
    for (int t = 0; t < tabs->count(); ++t)
        expectDistinctKeys(tabs->widget(t)->findChildren<QAbstractButton*>(), global,
                           tabs->tabText(t));
    // Each menu's entries among themselves.
    for (QAction* menu : window->menuBar()->actions()) {
        std::set<QChar> keys;
        for (QAction* entry : menu->menu()->actions()) {
            EXPECT_FALSE(mnemonic(entry->text()).isNull()) << entry->text().toStdString();
            EXPECT_TRUE(keys.insert(mnemonic(entry->text())).second) << entry->text().toStdString();
        }
    }
}

TEST_F(MainWindowTest, F1OpensHelpAndCtrlQExits) {
    tvtest::writeFile(fx.program + "/Tessvane Help.html", "<p>help</p>");
    ASSERT_TRUE(start());
    activate(window.get());
    QTest::keyClick(window.get(), Qt::Key_F1);
    ASSERT_EQ(shell.opened.size(), 1u);
    EXPECT_NE(shell.opened[0].find("Tessvane Help.html"), std::string::npos);
    QTest::keyClick(window.get(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(MainWindowTest, TheUndoTabTicksAllAndEveryFileMovedBackIsListed) {
    ASSERT_TRUE(start());
    click("cmdRun");
    statusTab()->clear();
    showTab("Undo");
    auto* model = child<QTreeView>("lvUndo")->model();
    ASSERT_EQ(model->rowCount(), 3);
    auto ticked = [&] {
        int n = 0;
        for (int r = 0; r < model->rowCount(); ++r)
            n += model->index(r, 0).data(Qt::CheckStateRole).toInt() == Qt::Checked;
        return n;
    };
    click("cmdUndoCheckAll");
    EXPECT_EQ(ticked(), 3);
    click("cmdUndoUncheckAll");
    EXPECT_EQ(ticked(), 0);
    click("cmdUndoCheckAll");
    // One file is gone meanwhile: it is listed too.
    std::filesystem::remove(fx.game + "/Music/Song.ogg");
    prompter.answers = {true};
    click("cmdUndo");
    const QStringList lines = statusLines();
    EXPECT_TRUE(lines.contains(QString::fromStdString(
        fx.game + "/Maps/DM-One.ut2 was moved back to " + fx.cache + "/" + ident(1) + ".uxx")))
        << lines.join('\n').toStdString();
    EXPECT_TRUE(lines.contains(QString::fromStdString(
        fx.game + "/Music/Song.ogg is no longer there; its record was removed")));
    EXPECT_EQ(model->rowCount(), 0);
}

TEST_F(MainWindowTest, SecondaryWindowsOpenOverTheMainOneAndCloseWithEscape) {
    updatePages[updateServer() + "/vb/vercheck/ver.txt"] = "TessvaneVerStart 0.1 TessvaneVerEnd";
    ASSERT_TRUE(start());
    // The first run's own check, over before the test's windows open.
    QCoreApplication::processEvents();
    if (window->updateWindow()) window->updateWindow()->close();
    window->setGeometry(300, 200, 900, 620);
    tvtest::makeZip(fx.dir / "pic.zip", {{"DM-Pic.ut2", "map"}});
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::blue);
    ASSERT_TRUE(image.save(QString::fromStdString(fx.dir / "shot.png")));
    tvtest::makeZip(fx.dir / "pic.zip",
                    {{"DM-Pic.ut2", "map"}, {"shot.png", tvtest::readFile(fx.dir / "shot.png")}});
    prompter.files.push_back({fx.dir / "pic.zip"});
    click("cmdOpenZIP");
    click("cmdEnlargePic");
    auto* picture = window->findChild<PicDisplay*>("frmPicDisplay");
    ASSERT_NE(picture, nullptr);
    ASSERT_TRUE(picture->isVisible());
    const QPoint centre = window->frameGeometry().center();
    EXPECT_LE((picture->frameGeometry().center() - centre).manhattanLength(), 4);
    activate(picture);
    QTest::keyClick(picture, Qt::Key_Escape);
    EXPECT_FALSE(picture->isVisible());

    click("cmdUpdate");
    UpdateWindow* updates = window->updateWindow();
    ASSERT_NE(updates, nullptr);
    ASSERT_TRUE(updates->isVisible());
    EXPECT_LE((updates->frameGeometry().center() - centre).manhattanLength(), 4);
    activate(updates);
    QTest::keyClick(updates, Qt::Key_Escape);
    EXPECT_FALSE(updates->isVisible());
}

TEST_F(MainWindowTest, TheWindowKeepsItsSizeAndPlace) {
    ASSERT_TRUE(start());
    window->setGeometry(123, 87, 777, 555);
    const QRect before = window->geometry();
    window->close();
    EXPECT_TRUE(store.value(tvtest::kSettingsKey, "WindowGeometry").has_value());
    restart();
    EXPECT_EQ(window->geometry(), before);
}

TEST_F(MainWindowTest, TheStartUpCheckRunsWhenTickedAndNotOtherwise) {
    store.setValue(tvtest::kSettingsKey, "FirstRun", RegValue::text("0"));
    ASSERT_TRUE(start());
    QApplication::processEvents();
    EXPECT_EQ(window->updateWindow(), nullptr); // not ticked: no check
    child<QCheckBox>("chkAutoUpdate")->setChecked(true);
    restart();
    QTRY_VERIFY(window->updateWindow() != nullptr && window->updateWindow()->isVisible());
}

TEST_F(MainWindowTest, ABuildWithoutAnUpdateServerAsksNoPlaceholder) {
    ::unsetenv("TESSVANE_UPDATE_URL");
    ASSERT_FALSE(updateServerIsSet());
    ASSERT_TRUE(start()); // the first start, which would check
    QApplication::processEvents();
    EXPECT_EQ(window->updateWindow(), nullptr);
    EXPECT_TRUE(prompter.shown.empty());
    click("cmdUpdate");
    EXPECT_EQ(prompter.messageTexts(),
              std::vector<std::string>{"No update server is set for this build."});
    EXPECT_TRUE(child<QPushButton>("cmdUpdate")->isEnabled());
}

TEST_F(MainWindowTest, ExitStopsAPendingUpdateCheckAtOnce) {
    store.setValue(tvtest::kSettingsKey, "FirstRun", RegValue::text("0"));
    ASSERT_TRUE(start());
    bool stopped = false;
    window->setUpdatePages([&] { return std::make_unique<SilentServerPages>(stopped); });
    bool closedDuringCheck = false;
    QTimer::singleShot(50, [&] {
        closedDuringCheck = window->updateWindow() && window->updateWindow()->checking();
        window->close();
    });
    click("cmdUpdate"); // returns once the check has ended
    EXPECT_TRUE(closedDuringCheck);
    EXPECT_TRUE(stopped);
    EXPECT_FALSE(window->isVisible());
}

namespace {

// A cache of `n` textures for a run long enough to be stopped.
std::vector<tvtest::Package> manyPackages(const tvtest::GameFixture& fx, int n) {
    std::vector<tvtest::Package> packages;
    for (int i = 0; i < n; ++i)
        packages.push_back({i, "Pack" + std::to_string(i) + ".utx",
                            fx.game + "/Textures/Pack" + std::to_string(i) + ".utx"});
    tvtest::addPackages(fx, packages);
    return packages;
}

} // namespace

TEST_F(MainWindowTest, ARunShowsItsProgressAndStopsWhenAsked) {
    const auto packages = manyPackages(fx, 600);
    ASSERT_TRUE(start());
    // The moves' progress, not the backup's (a stopped backup moves nothing).
    QTest::mouseClick(child<QCheckBox>("chkBackupCache"), Qt::LeftButton);
    auto* stop = child<QPushButton>("cmdStop");
    auto* progress = window->findChild<QProgressBar*>("RunProgress");
    ASSERT_NE(progress, nullptr);
    EXPECT_FALSE(stop->isVisible());
    // The user presses Stop when the first batch has been counted.
    bool seenRunning = false;
    QString shown;
    // The run reports from its worker thread; the user acts on the window's.
    tvtest::ObserverHook hook(window->session());
    hook.onProgress = [&](size_t, size_t) {
        if (seenRunning) return;
        seenRunning = true;
        BackgroundWork::onWindowThread([&] {
            shown = progress->text();
            EXPECT_TRUE(stop->isVisible());
            EXPECT_FALSE(child<QPushButton>("cmdRun")->isEnabled());
            EXPECT_FALSE(
                child<QPushButton>("cmdPurgeNow")->isEnabled()); // nothing else changes files
            // Another tab can be looked at while the run goes on.
            auto* tabs = child<QTabWidget>("Tab1");
            QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {},
                              tabs->tabBar()->tabRect(4).center());
            EXPECT_EQ(tabs->currentIndex(), 4);
            QTest::mouseClick(stop, Qt::LeftButton);
        });
    };
    click("cmdRun");
    EXPECT_TRUE(seenRunning);
    EXPECT_EQ(shown, "256 of 600");
    EXPECT_EQ(statusText(), "Stopped after 256 of 600; the rest stays in the cache");
    EXPECT_TRUE(statusLines().contains("Stopped after 256 of 600; the rest stays in the cache"));
    EXPECT_EQ(tvtest::misplacedPackages(fx, packages), std::vector<std::string>{});
    EXPECT_FALSE(stop->isVisible());
    EXPECT_FALSE(progress->isVisible());
    EXPECT_TRUE(child<QPushButton>("cmdPurgeNow")->isEnabled());
    EXPECT_EQ(listColumn(0).size(), 344); // the rest, still in the cache
}

void MainWindowTest::exitAtFirstProgress(tvtest::ObserverHook& hook, bool& asked) {
    hook.onProgress = [this, &asked](size_t, size_t) {
        if (asked) return;
        asked = true;
        BackgroundWork::onWindowThread([this] {
            prompter.answers = {true};
            // A click, not click(): the work cannot end while this waits.
            QTest::mouseClick(child<QPushButton>("cmdExit"), Qt::LeftButton);
            EXPECT_TRUE(window->isVisible()); // not before the work has stopped
        });
    };
}

TEST_F(MainWindowTest, ExitDuringARunAsksThenStopsAndExits) {
    const auto packages = manyPackages(fx, 600);
    ASSERT_TRUE(start());
    bool asked = false;
    tvtest::ObserverHook hook(window->session());
    exitAtFirstProgress(hook, asked);
    click("cmdRun");
    ASSERT_TRUE(asked);
    EXPECT_EQ(prompter.shown.back().text, "Stop the run and exit?");
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->session().statusText().rfind("Stopped ", 0), 0u)
        << window->session().statusText();
    EXPECT_EQ(tvtest::misplacedPackages(fx, packages), std::vector<std::string>{});
}

TEST_F(MainWindowTest, ExitDuringAnUndoDoesNotSpeakOfARun) {
    const auto packages = manyPackages(fx, 600);
    ASSERT_TRUE(start());
    click("cmdRun");
    showTab("Undo");
    click("cmdUndoCheckAll");
    bool asked = false;
    tvtest::ObserverHook hook(window->session());
    exitAtFirstProgress(hook, asked);
    prompter.answers = {true}; // the undo's own question
    click("cmdUndo");
    ASSERT_TRUE(asked);
    EXPECT_EQ(prompter.shown.back().text, "Stop the work under way and exit?");
    QTRY_VERIFY(!window->isVisible());
    EXPECT_EQ(tvtest::misplacedPackages(fx, packages), std::vector<std::string>{});
}

// The game chooser's buttons get keys of their own from their plain
// captions, also when two captions begin alike; an "&" stays a character.
TEST(QtPrompterKeys, TheChoosersButtonsHaveKeysOfTheirOwn) {
    QtPrompter qt;
    Prompter& prompter = qt;
    auto captionsOf = [&](const ListRequest& request) {
        std::map<std::string, QString> captions;
        QTimer::singleShot(10, [&] {
            QDialog* dialog = nullptr;
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->objectName() == "frmChooseFromList" && w->isVisible())
                    dialog = qobject_cast<QDialog*>(w);
            if (!dialog) {
                ADD_FAILURE() << "the chooser did not show";
                std::abort(); // it would wait for ever
            }
            for (const char* name : {"cmdChoose", "cmdOther", "cmdLeave"})
                captions[name] = dialog->findChild<QPushButton*>(name)->text();
            dialog->reject();
        });
        EXPECT_EQ(prompter.chooseFromList(request), kChoseNothing);
        return captions;
    };
    ListRequest request;
    request.headers = {"Game"};
    request.rows = {{"UT2004"}};
    request.chooseLabel = "Use This Game";
    request.otherLabel = "Use Another Folder...";
    request.leaveLabel = "Save & Leave";
    auto captions = captionsOf(request);
    std::set<QChar> keys;
    for (const auto& [name, caption] : captions) {
        EXPECT_FALSE(mnemonic(caption).isNull()) << name;
        EXPECT_TRUE(keys.insert(mnemonic(caption)).second) << caption.toStdString();
    }
    EXPECT_EQ(captions["cmdChoose"], "&Use This Game");
    EXPECT_EQ(captions["cmdOther"], "Use &Another Folder...");
    EXPECT_EQ(captions["cmdLeave"], "&Save && Leave");
    // The captions of the chooser at the first start.
    request.otherLabel = "Browse...";
    request.leaveLabel = "Leave Tessvane";
    captions = captionsOf(request);
    EXPECT_EQ(captions["cmdChoose"], "&Use This Game");
    EXPECT_EQ(captions["cmdOther"], "&Browse...");
    EXPECT_EQ(captions["cmdLeave"], "&Leave Tessvane");
}
