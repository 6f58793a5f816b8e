#pragma once

#include "background_work.h"

#include "session/session.h"
#include "ui/prompter.h"
#include "update_window.h"

#include <QMainWindow>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class QAction;
class QProgressBar;
class QLabel;
class QPushButton;
class QTabWidget;

namespace tv {

class AboutWindow;
class BusyWindow;
class FileListTab;
class NeverMoveTab;
class OptionsTab;
class Prompter;
class RegistryStore;
class Shell;
class StatusTab;
class LibraryTab;
class UndoTab;
class ZipTab;

// The main window: it places the seven tabs (each answers its own controls),
// holds the menus, "&Run" and "E&xit", and wires the tabs' requests to what
// involves more than one of them (a scan with the busy window, the update
// check, the Status page).
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(const std::string& programFolder, RegistryStore& registry, Prompter& prompter,
               Shell& shell, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Work is under way (a run, a scan, an installation, ...).
    bool working() const { return m_work.busy() || m_session.busy(); }
    // The load handler. false when a shipped file is missing: the program must
    // end at once, having written nothing.
    bool startUp();
    // The unload handler: every setting is written back and the program ends.
    void shutDown();
    // Tests keep the application running after a shut-down.
    void setQuitOnShutdown(bool quit) { m_quitOnShutdown = quit; }

    Session& session() { return m_session; }
    // Where the update check reads its pages (tests give a fake); Quillet's
    // browser otherwise.
    void setUpdatePages(UpdateWindow::PagesFactory pages) { m_updatePages = std::move(pages); }
    UpdateWindow* updateWindow() const { return m_updates; }
    // Where the About window's sound goes (tests record it).
    void setSoundPlayer(SoundPlayer* sound) { m_sound = sound; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QSize firstSize() const;
    void buildMenus();
    void connectHandlers();
    void settingsToControls();
    void showScanResult();
    // The File List's State column, worked out off the window's thread.
    void fillStates();
    void stopStateFill();
    void setStatusText(const std::string& text);
    void scanWithBusyWindow();
    // The Undo list is out of date: read again now when it is shown, else
    // when its tab is next shown.
    void LoadUndoList();
    void showUndoList();
    void restoreWindowGeometry();
    void saveWindowGeometry();

    // handlers
    void commitFileTypes();
    void rescan();
    void setUtDir();
    // Tools, "Choose Game...": the installs found; the chosen one is scanned.
    void chooseGame();
    // The questions of a tidy planned, then the tidy of what was confirmed.
    void confirmTidy(const std::shared_ptr<const TidyPlan>& plan);
    void openInEditor(const char* fileName);
    // A file of the program folder in the user's editor (or its default
    // program); a missing file or no program to open it is said.
    void openProgramFile(const char* fileName, bool inEditor);
    void runClicked();
    void stopClicked();
    // Exit while a run goes on: asks, then stops it and exits once it has.
    bool exitDuringRun();
    // Every command's enabled state, from the session's state, in one place.
    void updateActionState();
    // cmdUpdate: the button's changes, then the check in frmUpdates.
    void updateClicked(int tab = 2);
    // Opens frmUpdates and checks (a check under way is only raised).
    void openUpdates();
    void showDestinationFolders();
    void purgeClicked();
    // "Tidy Cache...": says what it would do, asks (No is the default), tidies.
    void tidyClicked();
    // The session's reports, shown on the window's thread whichever thread
    // the work is on.
    void connectSession();
    // The Status lines a worker has handed over so far, into the Status tab.
    void takeStatusLines();

    // How the session's reports reach the window, whichever thread the work
    // is on: lines, texts and counts travel by value and do not hold the work
    // up; the rows and the running state change where the window reads them.
    class SessionEvents : public SessionObserver {
    public:
        explicit SessionEvents(MainWindow& window) : m_window(window) {}
        void statusLine(const std::string& line) override;
        void statusText(const std::string& text) override;
        void cacheFolderLabel(const std::string& text) override;
        void gameShown(const std::string& label) override;
        void progress(size_t done, size_t total) override;
        bool stopRequested() override;
        void rowsChanged() override;
        void runningChanged() override;
        void inShowingThread(const std::function<void()>& change) override;

    private:
        MainWindow& m_window;
    };

    // Long work runs off the window's thread; the session asks its questions
    // through the window's thread.
    BackgroundWork m_work;
    SessionEvents m_events{*this};
    LineFeed m_lineFeed; // Status lines on their way from a worker
    WindowThreadPrompter m_sessionPrompter;
    Session m_session;
    Prompter& m_prompter;
    Shell& m_shell;
    RegistryStore& m_registry; // the window's own values (its place, the archive folder)

    QTabWidget* Tab1;
    StatusTab* m_statusTab;
    FileListTab* m_fileListTab;
    OptionsTab* m_optionsTab;
    NeverMoveTab* m_neverMoveTab;
    LibraryTab* m_libraryTab = nullptr;
    UndoTab* m_undoTab;
    ZipTab* m_zipTab;
    QPushButton* cmdRun;
    QPushButton* cmdStop; // shown while a run goes on
    QPushButton* cmdExit;
    QProgressBar* m_progress; // "n of N" in the status bar while a run goes on
    bool m_exitAfterRun = false;
    bool m_runUnderWay = false; // the work under way is a run (not an undo, ...)
    // The scan whose states are being worked out (kNoStates: none).
    static constexpr uint64_t kNoStates = UINT64_MAX;
    std::atomic<uint64_t> m_stateWanted{kNoStates};
    WorkRunner m_fillers; // the State column's readers
    bool m_undoListStale = true;
    QLabel* lblUTName;
    QLabel* m_statusPanel3;
    QAction* mnuFileRun;
    BusyWindow* m_busy;
    AboutWindow* m_about = nullptr;
    UpdateWindow* m_updates = nullptr;
    std::unique_ptr<SoundPlayer> m_ownSound;
    SoundPlayer* m_sound;
    UpdateWindow::PagesFactory m_updatePages;

    bool m_shutDown = false;
    bool m_quitOnShutdown = true;
};

} // namespace tv
