#pragma once

#include "fake_pages.h"
#include "test_support.h"

#include "formats/registry_store.h"
#include "recording_prompter.h"
#include "window/main_window.h"
#include "window/status_tab.h"
#include "window/update_window.h"

#include <QAction>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

// Qt's QTRY_ macros report to QTest's own log and return: under GoogleTest a
// condition that never came true would pass unseen. These wait the same way
// and report through GoogleTest.
#undef QTRY_VERIFY
#define QTRY_VERIFY(expr)                                                                          \
    do {                                                                                           \
        QElapsedTimer waited_;                                                                     \
        waited_.start();                                                                           \
        while (!(expr) && waited_.elapsed() < 5000)                                                \
            QTest::qWait(10);                                                                      \
        EXPECT_TRUE(expr) << #expr;                                                                \
    } while (false)
#undef QTRY_COMPARE
#define QTRY_COMPARE(actual, expected)                                                             \
    do {                                                                                           \
        QElapsedTimer waited_;                                                                     \
        waited_.start();                                                                           \
        while (!((actual) == (expected)) && waited_.elapsed() < 5000)                              \
            QTest::qWait(10);                                                                      \
        EXPECT_TRUE((actual) == (expected)) << #actual << " never became " << #expected;           \
    } while (false)
#include <QTreeView>

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>

#include <quillet/net_connection.h>

namespace tvtest {

// Handles the window's events until its work has ended (a minute at most).
// Until the window's work (and an update check it started) has ended.
inline void settleWindow(tv::MainWindow& window) {
    QDeadlineTimer deadline(60000);
    auto working = [&] {
        return window.working() || (window.updateWindow() && window.updateWindow()->checking());
    };
    while (working() && !deadline.hasExpired())
        QTest::qWait(5);
    ASSERT_FALSE(working()) << "the window's work did not end";
}

using tv::MainWindow;
using tv::RecordingPrompter;
using tv::RecordingShell;
using tv::RegistryStore;

// A fresh program folder, game and registry file for every test, and the
// main window on them with a recording prompter and shell.
class MainWindowTest : public ::testing::Test {
protected:
    GameFixture fx;
    RegistryStore store{fx.registry};
    RecordingPrompter prompter;
    RecordingShell shell;
    std::unique_ptr<MainWindow> window;
    // The update check's pages: none, unless a test says otherwise.
    std::map<std::string, std::string> updatePages;

    ~MainWindowTest() override {
        quillet::NetConnection::SetConnectionState(std::nullopt);
        ::unsetenv("TESSVANE_UPDATE_URL");
    }
    MainWindowTest() {
        // A build with an update server of its own (tests of the placeholder unset it).
        ::setenv("TESSVANE_UPDATE_URL", "http://updates.tessvane.test", 1);
        // The update check sees a machine on line (and, above, no server).
        quillet::NetConnection::SetConnectionState(true);
        fx.writeCacheIni(
            {fx.addEntry(1, "DM-One.ut2"), fx.addEntry(2, "Tex.utx"), fx.addEntry(3, "Song.ogg")});
    }

    MainWindow& open() {
        window = std::make_unique<MainWindow>(fx.program, store, prompter, shell);
        window->setQuitOnShutdown(false);
        window->setUpdatePages([this] { return std::make_unique<FakePages>(updatePages); });
        return *window;
    }
    bool start() {
        open();
        if (!window->startUp()) return false;
        window->show();
        settleWindow(*window);
        return true;
    }
    void restart() {
        window->close();
        window.reset();
        ASSERT_TRUE(start());
    }
    template <class T> T* child(const char* name) {
        T* w = window->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    // Clicks a button that must exist and be enabled, then waits for the
    // work it started.
    void click(const char* name) {
        auto* b = window->findChild<QPushButton*>(name);
        ASSERT_NE(b, nullptr) << name;
        ASSERT_TRUE(b->isEnabled()) << name << " is disabled";
        QTest::mouseClick(b, Qt::LeftButton);
        settle();
    }
    // Triggers a menu entry that must exist, then waits for its work.
    void trigger(const char* name) {
        auto* action = window->findChild<QAction*>(name);
        ASSERT_NE(action, nullptr) << name;
        action->trigger();
        settle();
    }
    // Lets the window's work end (the window answers meanwhile).
    void settle() { settleWindow(*window); }
    QString statusText() { return child<QLabel>("StatusBar1Panel3")->text(); }
    // The Status list's lines, every line taken so far shown.
    QStringList statusLines() { return statusTab()->lines(); }
    // Exit, answered Yes, at the work's first progress; `asked` tells it came.
    void exitAtFirstProgress(struct ObserverHook& hook, bool& asked);
    tv::StatusTab* statusTab() {
        auto* tab = window->findChild<tv::StatusTab*>();
        EXPECT_NE(tab, nullptr);
        return tab;
    }
    // The Status list's row that shows `text`'s start, or -1.
    int statusRow(const QString& start) {
        const QStringList lines = statusLines();
        for (int i = 0; i < lines.size(); ++i)
            if (lines[i].startsWith(start)) return i;
        return -1;
    }
    // Shows a tab as a click on it does (the Undo list is read when shown).
    void showTab(const char* title) {
        auto* tabs = child<QTabWidget>("Tab1");
        for (int i = 0; i < tabs->count(); ++i)
            if (tabs->tabText(i) == QLatin1String(title)) tabs->setCurrentIndex(i);
    }
    QStringList listColumn(int column) {
        QStringList out;
        auto* model = child<QTreeView>("ListView1")->model();
        for (int r = 0; r < model->rowCount(); ++r)
            out << model->index(r, column).data().toString();
        return out;
    }
    std::vector<bool> ticks() {
        std::vector<bool> out;
        auto* model = child<QTreeView>("ListView1")->model();
        for (int r = 0; r < model->rowCount(); ++r)
            out.push_back(model->index(r, 0).data(Qt::CheckStateRole).toInt() == Qt::Checked);
        return out;
    }
    void clickHeader(const char* view, int section) {
        QHeaderView* h = child<QTreeView>(view)->header();
        QPoint at(h->sectionViewportPosition(section) + h->sectionSize(section) / 2,
                  h->height() / 2);
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, at);
    }
};

} // namespace tvtest
