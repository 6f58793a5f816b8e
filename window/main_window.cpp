#include "main_window.h"

#include "engine/package_state.h"

#include "about_window.h"
#include "busy_window.h"
#include "file_list_tab.h"
#include "library_tab.h"
#include "never_move_tab.h"
#include "options_tab.h"
#include "status_tab.h"
#include "undo_tab.h"
#include "widgets.h"
#include "zip_tab.h"

#include "update/web_pages.h"

#include "formats/registry_store.h"
#include "platform/program_folder.h"
#include "platform/text_io.h"
#include "ui/prompter.h"
#include "ui/qt/qt_prompter.h"
#include "ui/qt/qt_text.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

namespace tv {

namespace {

// How long Status lines from a worker gather before the window takes them in.
constexpr int kLineFeedMs = 40;

// The window's size and place, a value of its own beside the settings.
const char* const kWindowKey = "HKEY_LOCAL_MACHINE\\Software\\Zarnowick\\Tessvane";
const char* const kWindowValue = "WindowGeometry";

} // namespace

MainWindow::MainWindow(const std::string& programFolder, RegistryStore& registry,
                       Prompter& prompter, Shell& shell, QWidget* parent)
    : QMainWindow(parent), m_sessionPrompter(prompter),
      m_session(programFolder, registry, m_sessionPrompter), m_prompter(prompter), m_shell(shell),
      m_registry(registry), m_ownSound(std::make_unique<QtSoundPlayer>()),
      m_sound(m_ownSound.get()) {
    setObjectName("frmMain");
    auto* central = new QWidget(this);
    Tab1 = new QTabWidget(central);
    Tab1->setObjectName("Tab1");
    m_statusTab = new StatusTab;
    m_fileListTab = new FileListTab(m_session, m_prompter);
    m_optionsTab = new OptionsTab(m_session, m_prompter);
    m_neverMoveTab = new NeverMoveTab(m_session, m_prompter);
    m_undoTab = new UndoTab(m_session, m_work, m_prompter);
    auto* userDefined = new QWidget;
    (new QVBoxLayout(userDefined))
        ->addWidget(new QLabel("Will be where users can define file types and where they go"));
    m_zipTab = new ZipTab(m_session, m_work, m_prompter, m_shell, m_registry);
    Tab1->addTab(m_statusTab, "Status");
    Tab1->addTab(m_fileListTab, "File List");
    Tab1->addTab(m_optionsTab, "Options");
    Tab1->addTab(m_neverMoveTab, "Never Move");
    Tab1->addTab(m_undoTab, "Undo");
    Tab1->addTab(userDefined, "User Defined");
    Tab1->addTab(m_zipTab, "ZIP");
    m_libraryTab = new LibraryTab(m_session, m_work, m_prompter);
    Tab1->addTab(m_libraryTab, "Library");

    lblUTName = makeLabel(central, "lblUTName");
    cmdRun = makeButton(central, "cmdRun", "&Run");
    cmdStop =
        makeButton(central, "cmdStop", "Stop no&w", "Ends the run after the files being moved now");
    cmdStop->setVisible(false);
    cmdExit = makeButton(central, "cmdExit", "E&xit");
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lblUTName);
    bottom->addWidget(new QLabel("Thanks for using my program", central));
    bottom->addStretch(1);
    bottom->addWidget(cmdStop);
    bottom->addWidget(cmdRun);
    bottom->addWidget(cmdExit);
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(Tab1, 1);
    layout->addLayout(bottom);
    setCentralWidget(central);

    statusBar()->setObjectName("StatusBar1");
    m_statusPanel3 = makeLabel(this, "StatusBar1Panel3");
    statusBar()->addWidget(m_statusPanel3, 1);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName("RunProgress");
    m_progress->setFormat("%v of %m");
    m_progress->setMinimumWidth(180); // room for "n of N" beside the bar itself
    m_progress->setMaximumWidth(220);
    m_progress->setVisible(false);
    statusBar()->addPermanentWidget(m_progress);

    m_busy = new BusyWindow(QString::fromStdString(findInFolder(
                                shippedFolder(m_session.programFolder()), "search.gif")),
                            this);

    buildMenus();
    connectHandlers();

    // Commands whose function is not part of this program yet stay visible
    // but cannot be pressed.
    m_updatePages = [] { return std::make_unique<WebParserPages>(); };
    connect(m_optionsTab, &OptionsTab::updateRequested, this, [this] { updateClicked(); });
    connect(m_optionsTab, &OptionsTab::commitRequested, this, &MainWindow::commitFileTypes);
    connect(m_optionsTab, &OptionsTab::purgeRequested, this, &MainWindow::purgeClicked);
    connect(m_optionsTab, &OptionsTab::tidyRequested, this, &MainWindow::tidyClicked);

    connect(m_zipTab, &ZipTab::statusPageWanted, this, [this] { Tab1->setCurrentIndex(0); });
    connect(Tab1, &QTabWidget::currentChanged, this, [this] {
        if (Tab1->currentWidget() == m_undoTab) showUndoList();
    });
    connectSession();
    resize(firstSize());
}

// Roomy where the screen allows, never larger than it (an 800x600 screen
// would hide the Needs column, Exit and the status bar).
QSize MainWindow::firstSize() const {
    const QSize roomy(900, 620);
    const QScreen* shown = screen();
    if (!shown) return roomy;
    return roomy.boundedTo(shown->availableGeometry().size() - QSize(16, 40))
        .expandedTo(minimumSizeHint());
}

void MainWindow::connectSession() {
    m_session.setObserver(&m_events);
    connect(&m_work, &BackgroundWork::busyChanged, this, [this] {
        if (!m_work.busy()) takeStatusLines(); // the last ones, before anything reads them
        updateActionState();
        if (!m_work.busy() && m_exitAfterRun) QTimer::singleShot(0, this, &QWidget::close);
    });
    connect(&m_work, &BackgroundWork::failed, this, [this](const QString& text) {
        m_prompter.message("The work stopped before its end: " + text.toStdString());
    });
}

void MainWindow::SessionEvents::statusLine(const std::string& line) {
    MainWindow& w = m_window;
    if (BackgroundWork::onWindowThreadNow()) {
        w.m_statusTab->appendLine(toDisplay(line), isFailureLine(line));
        return;
    }
    // Lines gather while the window is busy and go over in one piece: one
    // hand-over per line would wake the window thousands of times.
    if (!w.m_lineFeed.add(line)) return; // a hand-over is on its way already
    BackgroundWork::postToWindowThread(
        [&w] { QTimer::singleShot(kLineFeedMs, &w, &MainWindow::takeStatusLines); });
}

void MainWindow::SessionEvents::statusText(const std::string& text) {
    MainWindow& w = m_window;
    BackgroundWork::postToWindowThread([&w, text] { w.m_statusPanel3->setText(toDisplay(text)); });
}

void MainWindow::SessionEvents::cacheFolderLabel(const std::string& text) {
    MainWindow& w = m_window;
    BackgroundWork::postToWindowThread(
        [&w, text] { w.m_statusTab->Label1->setText(toDisplay(text)); });
}

void MainWindow::SessionEvents::gameShown(const std::string& label) {
    MainWindow& w = m_window;
    BackgroundWork::postToWindowThread([&w, label] {
        w.setWindowTitle(QStringLiteral("Tessvane \u2014 ") + toDisplay(label));
        w.m_statusTab->lblGame->setText(toDisplay(label));
    });
}

void MainWindow::SessionEvents::progress(size_t done, size_t total) {
    MainWindow& w = m_window;
    BackgroundWork::postToWindowThread([&w, done, total] {
        w.m_progress->setMaximum(static_cast<int>(total));
        w.m_progress->setValue(static_cast<int>(done));
    });
}

// The user may look at other tabs and press Stop while work goes on; the
// commands that change files are disabled until it ends (updateActionState).
bool MainWindow::SessionEvents::stopRequested() {
    return m_window.m_work.stopRequested();
}

void MainWindow::SessionEvents::rowsChanged() {
    m_window.m_fileListTab->rowsChanged();
}

void MainWindow::SessionEvents::runningChanged() {
    m_window.updateActionState();
}

void MainWindow::SessionEvents::inShowingThread(const std::function<void()>& change) {
    BackgroundWork::onWindowThread(change);
}

void MainWindow::takeStatusLines() {
    const std::string text = m_lineFeed.take();
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find('\n', at);
        const std::string line = text.substr(at, end - at);
        m_statusTab->appendLine(toDisplay(line), isFailureLine(line));
        at = end + 1;
    }
}

// The State column fills after the list appears: the headers are read on a
// thread of their own while the list is already in use. A later scan, or
// work that changes files, makes the states of this one moot.
void MainWindow::fillStates() {
    stopStateFill();
    Session::StateRequest request = m_session.stateRequest();
    if (request.table.empty()) return;
    const uint64_t wanted = request.generation;
    m_stateWanted = wanted;
    std::atomic<uint64_t>* stateWanted = &m_stateWanted;
    m_fillers
        .start([stateWanted, wanted, request = std::move(request)] {
            return std::make_shared<PackagesFacts>(Session::workOutStates(
                request, [stateWanted, wanted] { return *stateWanted != wanted; }));
        })
        .then(this, [this, wanted](std::shared_ptr<PackagesFacts> states) {
            // A run or an undo under way reads the rows on its worker.
            if (m_stateWanted != wanted || m_session.busy() || m_work.busy()) return;
            m_session.applyStates(wanted, std::move(*states));
        });
}

// The filler under way ends at its next file; the window does not wait for
// it (the runner joins it when the window goes).
void MainWindow::stopStateFill() {
    m_stateWanted = kNoStates;
}

MainWindow::~MainWindow() {
    m_work.waitForEnd();            // work asking the window is answered first
    m_stateWanted = kNoStates;      // the fillers end at their next file; the runner waits
    m_session.setObserver(nullptr); // nothing is shown any more
    // The views read the session's rows, which go before the base class
    // destroys its children: take the views down first.
    delete takeCentralWidget();
}

void MainWindow::buildMenus() {
    auto* file = menuBar()->addMenu("&File");
    mnuFileRun = file->addAction("&Run");
    mnuFileRun->setObjectName("mnuFileRun");
    connect(mnuFileRun, &QAction::triggered, this, &MainWindow::runClicked);
    auto* exit = file->addAction("E&xit");
    exit->setObjectName("mnuFileExit");
    exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(exit, &QAction::triggered, this, &QWidget::close);

    auto* tools = menuBar()->addMenu("&Tools");
    auto* updates = tools->addAction("Chec&k for updates");
    updates->setObjectName("mnuToolsCheckForUpdates");
    connect(updates, &QAction::triggered, this, &MainWindow::openUpdates);
    auto* editIni = tools->addAction("&Edit Tessvane INI");
    editIni->setObjectName("mnuToolsEdit");
    connect(editIni, &QAction::triggered, this, [this] { openInEditor("Tessvane.ini"); });
    auto* editNm = tools->addAction("E&dit Never Move List");
    editNm->setObjectName("mnuToolsEditNMList");
    connect(editNm, &QAction::triggered, this, [this] { openInEditor("TessvaneDontMove.ini"); });
    auto* setUt = tools->addAction("&Set the UT dir");
    setUt->setObjectName("mnuToolsSetUT");
    connect(setUt, &QAction::triggered, this, &MainWindow::setUtDir);
    auto* chooseGame = tools->addAction("Choose &Game...");
    chooseGame->setObjectName("mnuToolsChooseGame");
    connect(chooseGame, &QAction::triggered, this, &MainWindow::chooseGame);
    auto* view = tools->addAction("&View Log");
    view->setObjectName("mnuToolsView");
    connect(view, &QAction::triggered, this, [this] { openInEditor("Tessvane.log"); });

    auto* help = menuBar()->addMenu("&Help");
    auto* contents = help->addAction("&Contents");
    contents->setObjectName("mnuHelpContents");
    contents->setShortcut(QKeySequence::HelpContents);
    connect(contents, &QAction::triggered, this,
            [this] { openProgramFile("Tessvane Help.html", false); });
    auto* about = help->addAction("&About");
    about->setObjectName("mnuHelpAbout");
    connect(about, &QAction::triggered, this, [this] {
        if (!m_about)
            m_about =
                new AboutWindow(m_session.programFolder(), m_prompter, m_shell, *m_sound, this);
        m_about->show();
        m_about->raise();
    });
}

void MainWindow::connectHandlers() {
    connect(cmdExit, &QPushButton::clicked, this, &QWidget::close);
    connect(cmdStop, &QPushButton::clicked, this, &MainWindow::stopClicked);
    // The button is the menu item's other face: one command, one enabled state.
    connect(cmdRun, &QPushButton::clicked, mnuFileRun, &QAction::trigger);
    connect(mnuFileRun, &QAction::changed, cmdRun,
            [this] { cmdRun->setEnabled(mnuFileRun->isEnabled()); });
    connect(m_fileListTab, &FileListTab::rescanRequested, this, &MainWindow::rescan);
    connect(m_fileListTab, &FileListTab::cacheFolderChosen, this, &MainWindow::showScanResult);
    connect(m_fileListTab, &FileListTab::neverMoveChanged, m_neverMoveTab,
            &NeverMoveTab::showLines);
    connect(m_undoTab, &UndoTab::filesMovedBack, this, &MainWindow::showScanResult);
    connect(m_libraryTab, &LibraryTab::filesChanged, this, [this] {
        showScanResult();
        m_undoTab->LoadUndoList();
    });
    connect(m_zipTab, &ZipTab::destinationsChanged, this, &MainWindow::showDestinationFolders);
    // An installation is on the Undo tab (and in the log's size) at once.
    connect(m_zipTab, &ZipTab::destinationsChanged, this, &MainWindow::LoadUndoList);
    connect(m_neverMoveTab, &NeverMoveTab::saving, this, [this](bool busy) {
        if (busy)
            m_busy->showBusy(m_session.install().game);
        else
            m_busy->unload();
    });
}

// ---- settings and controls --------------------------------------------------

void MainWindow::settingsToControls() {
    const Settings& s = m_session.settings();
    m_optionsTab->load(s);
    m_zipTab->load(s);
    m_fileListTab->showCacheFolder(s.cacheDir);
}

void MainWindow::setStatusText(const std::string& text) {
    m_session.setStatusText(text);
    m_statusPanel3->setText(toDisplay(text));
}

void MainWindow::showScanResult() {
    m_fileListTab->showScan();
    fillStates();
    m_optionsTab->showPurgeDays(m_session.housekeeping().purgeDaysText());
    m_statusPanel3->setText(toDisplay(m_session.statusText()));
    m_neverMoveTab->showLines();
}

// ---- start-up and shut-down -----------------------------------------------------

bool MainWindow::startUp() {
    if (!m_session.checkRequiredFiles()) return false;
    if (!m_session.readGameFolder()) return false;
    m_session.ensureInstallPath();
    // What a killed map installation left in the temporary folder goes.
    MapArchiveInstaller::removeAbandonedFolders();
    m_session.loadSettings();
    settingsToControls();
    restoreWindowGeometry();
    setWindowTitle("Tessvane");
    m_optionsTab->clearReminder();
    // The first scan goes on off the window's thread: the window shows (and
    // answers) while a large cache is read.
    m_busy->showBusy(m_session.install().game);
    m_work.start([this] { m_session.ScanCache(); }, false,
                 [this] {
                     showScanResult();
                     Tab1->setCurrentIndex(1);
                     cmdRun->setFocus();
                     lblUTName->setText(toDisplay(m_session.playerName()));
                     m_busy->unload();
                     // A build without a real update server does not ask the placeholder;
                     // the window is on the screen by now (a check can take two page loads).
                     if ((m_optionsTab->autoUpdate() || m_session.settings().firstRun == 1) &&
                         updateServerIsSet())
                         updateClicked(0);
                     LoadUndoList();
                 });
    return true;
}

void MainWindow::shutDown() {
    if (m_shutDown) return;
    m_shutDown = true;
    // A check waiting for a server must not keep the program alive.
    if (m_updates) m_updates->abort();
    m_optionsTab->clearReminder();
    m_session.saveSettings();
    saveWindowGeometry();
    if (m_quitOnShutdown) QCoreApplication::quit();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Work under way ends first (a run or an undo at its next safe point,
    // other work when it is done); the window then closes.
    if (m_session.busy() || m_work.busy()) {
        event->ignore();
        if (m_session.busy() || m_work.stoppable())
            exitDuringRun();
        else
            m_exitAfterRun = true;
        return;
    }
    if (!m_shutDown && !m_neverMoveTab->allowClose()) {
        event->ignore();
        return;
    }
    shutDown();
    event->accept();
}

// ---- the File List ----------------------------------------------------------------

void MainWindow::scanWithBusyWindow() {
    m_busy->showBusy(m_session.install().game);
    m_work.start([this] { m_session.ScanCache(); }, false,
                 [this] {
                     showScanResult();
                     m_busy->unload();
                 });
}

void MainWindow::commitFileTypes() {
    m_optionsTab->clearReminder();
    scanWithBusyWindow();
}

void MainWindow::rescan() {
    m_busy->showBusy(m_session.install().game);
    setStatusText("Re-scanning files...");
    m_work.start([this] { m_session.ScanCache(); }, false,
                 [this] {
                     showScanResult();
                     updateActionState();
                     m_busy->unload();
                 });
}

void MainWindow::setUtDir() {
    m_session.setUtDir();
    m_fileListTab->showCacheFolder(m_session.settings().cacheDir);
}

void MainWindow::chooseGame() {
    // The installs are found and their indexes counted off the window's
    // thread; the choice is made on it once they are known.
    auto found = std::make_shared<std::vector<Session::GameChoice>>();
    m_work.start([this, found] { *found = m_session.gameChoices(); }, false,
                 [this, found] {
                     if (!m_session.chooseGame(false, *found)) return;
                     // Another game, another cache: its list at once.
                     m_fileListTab->showCacheFolder(m_session.settings().cacheDir);
                     rescan();
                 });
}

// ---- options ------------------------------------------------------------------------

void MainWindow::openInEditor(const char* fileName) {
    openProgramFile(fileName, true);
}

void MainWindow::openProgramFile(const char* fileName, bool inEditor) {
    auto path = lookupInFolder(m_session.programFolder(), fileName);
    if (!path) path = lookupInFolder(shippedFolder(m_session.programFolder()), fileName);
    if (!path || !fileExists(*path)) {
        m_prompter.message(joinPath(m_session.programFolder(), fileName) + " does not exist.");
        return;
    }
    if (!(inEditor ? m_shell.openInEditor(*path) : m_shell.openDocument(*path)))
        m_prompter.message("There is no program on this desktop to open " + *path + ".");
}

// ---- the run ------------------------------------------------------------------------

void MainWindow::showDestinationFolders() {
    // A run or an installation drops a trailing separator from the folder boxes.
    m_optionsTab->showDestinationFolders(m_session.settings());
}

void MainWindow::updateActionState() {
    // A run or an archive installation under way takes no second one, and
    // nothing else that changes files: the tabs can be looked at, not used.
    const bool idle = !m_session.busy() && !m_work.busy();
    mnuFileRun->setEnabled(idle);
    for (QWidget* page : std::initializer_list<QWidget*>{m_fileListTab, m_optionsTab,
                                                         m_neverMoveTab, m_undoTab, m_zipTab})
        page->setEnabled(idle);
    for (QAction* menu : menuBar()->actions())
        for (QAction* entry : menu->menu()->actions())
            if (entry->objectName() != "mnuFileExit" && entry->objectName() != "mnuHelpContents" &&
                entry->objectName() != "mnuHelpAbout")
                entry->setEnabled(idle);
    const bool stoppable = m_session.busy() || m_work.stoppable();
    cmdStop->setVisible(stoppable);
    cmdStop->setEnabled(stoppable && !m_work.stopRequested());
    m_progress->setVisible(!idle);
    if (!idle) {
        m_progress->setMaximum(0); // busy until the first batch is counted
        m_progress->setValue(0);
    }
}

void MainWindow::stopClicked() {
    if (!m_work.stoppable()) return;
    m_work.requestStop();
    cmdStop->setEnabled(false); // once is enough
    m_statusPanel3->setText("Stopping after the files being moved now...");
}

bool MainWindow::exitDuringRun() {
    if (m_exitAfterRun) return false; // asked already
    if (!m_prompter.question(m_runUnderWay ? "Stop the run and exit?"
                                           : "Stop the work under way and exit?"))
        return false;
    m_exitAfterRun = true;
    stopClicked();
    return true;
}

void MainWindow::runClicked() {
    if (m_session.busy()) return;
    if (!m_session.checkRunDestination()) return;
    Tab1->setCurrentIndex(0);
    m_runUnderWay = true;
    m_work.start(
        [this, request = m_session.runRequest()] {
            const Outcome<RunResult> ran = m_session.run(request);
            if (const Refused* no = ran.refused()) m_session.tell(*no);
        },
        true,
        [this] {
            m_runUnderWay = false;
            showDestinationFolders();
            showScanResult();
            LoadUndoList();
            m_statusTab->flush();
            if (m_exitAfterRun) close(); // asked while the run went on
        });
}

// ---- housekeeping -------------------------------------------------------------------

void MainWindow::tidyClicked() {
    // The plan (byte comparisons of every copy) is made off the window's
    // thread; what the user confirms of it is what the tidy does.
    auto plan = std::make_shared<TidyPlan>();
    m_work.start(
        [this, plan] {
            TidyOptions all;
            all.duplicates = all.staleLines = all.orphans = true;
            *plan = m_session.planTidy(all);
        },
        false, [this, plan] { confirmTidy(plan); });
}

void MainWindow::confirmTidy(const std::shared_ptr<const TidyPlan>& planned) {
    const TidyPlan& plan = *planned;
    if (!plan.indexFound) {
        m_prompter.message("Cache.INI is MISSING...can't proceed!", "Critical file missing!");
        return;
    }
    if (plan.empty()) {
        m_prompter.message("The cache is tidy: no copy of an installed package, no line without "
                           "its file, no file without its line.",
                           "Tidy Cache");
        return;
    }
    auto count = [](size_t n, const char* one, const char* many) {
        return std::to_string(n) + " " + (n == 1 ? one : many);
    };
    TidyOptions chosen;
    if (!plan.duplicates.empty() || !plan.staleLines.empty()) {
        std::string text = "Tidy the cache?\n";
        if (!plan.duplicates.empty())
            text += "\nDelete " + count(plan.duplicates.size(), "cache file", "cache files") +
                    " (" + std::to_string(plan.duplicateBytes()) +
                    " bytes) identical to the installed packages of their names, and their lines.";
        if (!plan.staleLines.empty())
            text += "\nRemove " + count(plan.staleLines.size(), "line", "lines") +
                    " of Cache.ini whose cache file is gone.";
        text += "\n\nCache.ini is kept as cachebak.ini.";
        if (m_prompter.question(text, "Tidy Cache", MessageIcon::Exclamation)) {
            chosen.duplicates = !plan.duplicates.empty();
            chosen.staleLines = !plan.staleLines.empty();
        }
    }
    if (!plan.orphans.empty() &&
        m_prompter.question(count(plan.orphans.size(), "file", "files") + " in the cache (" +
                                std::to_string(plan.orphanBytes()) + " bytes) " +
                                (plan.orphans.size() == 1
                                     ? "is named by no line of Cache.ini: the game does not "
                                       "know it.\n\nDelete it?"
                                     : "are named by no line of Cache.ini: the game does not "
                                       "know them.\n\nDelete them?"),
                            "Tidy Cache", MessageIcon::Exclamation))
        chosen.orphans = chosen.deleteOrphans = true;
    if (!chosen.duplicates && !chosen.staleLines && !chosen.orphans) return;
    Tab1->setCurrentIndex(0); // the Status list says what went
    m_work.start(
        [this, chosen, planned] {
            m_session.told(m_session.tidy({chosen, planned}));
        },
        false, [this] { showScanResult(); });
}

void MainWindow::purgeClicked() {
    if (m_session.confirmPurge()) return;
    m_busy->showBusy(m_session.install().game);
    auto purged = std::make_shared<bool>(false);
    m_work.start(
        [this, purged] {
            const Outcome<PurgeResult> done = m_session.purgeCache();
            *purged = m_session.told(done) && done.result()->purged;
        },
        false,
        [this, purged] {
            if (*purged) showScanResult();
            m_busy->unload();
        });
}

// ---- later features -------------------------------------------------------------

void MainWindow::updateClicked(int tab) {
    if (m_updates && m_updates->checking()) {
        m_updates->raise();
        return;
    }
    Tab1->setCurrentIndex(tab);
    const QString caption = windowTitle();
    setWindowTitle("** Please wait - checking for updates.... **");
    QPushButton* button = m_optionsTab->updateButton();
    button->setText("Please wait...");
    setCursor(Qt::WaitCursor);
    button->setEnabled(false);
    setWindowTitle(caption);
    openUpdates();
}

void MainWindow::openUpdates() {
    if (!m_updates) {
        m_updates = new UpdateWindow(m_prompter, m_shell, m_updatePages, this);
        connect(m_updates, &UpdateWindow::closed, this, [this] {
            m_optionsTab->updateButton()->setText(kCheckForUpdatesCaption);
            m_optionsTab->updateButton()->setEnabled(true);
            unsetCursor();
        });
    } else if (m_updates->checking()) {
        m_updates->raise();
        return;
    }
    m_updates->check();
}

void MainWindow::LoadUndoList() {
    // The records are read when the tab is shown: a run of many files does
    // not read them all back for a tab nobody looks at.
    m_undoListStale = true;
    if (Tab1->currentWidget() == m_undoTab) showUndoList();
}

void MainWindow::showUndoList() {
    if (!m_undoListStale) return;
    m_undoListStale = false;
    m_undoTab->LoadUndoList();
}

void MainWindow::restoreWindowGeometry() {
    auto stored = m_registry.value(kWindowKey, kWindowValue);
    if (!stored || stored->type != REG_BINARY) return;
    // Qt brings a window whose screen is gone back onto one that is there.
    const QByteArray bytes(stored->data.data(), static_cast<qsizetype>(stored->data.size()));
    restoreGeometry(bytes);
}

void MainWindow::saveWindowGeometry() {
    const QByteArray bytes = saveGeometry();
    RegValue value;
    value.type = REG_BINARY;
    value.data.assign(bytes.constData(), static_cast<size_t>(bytes.size()));
    m_registry.setValue(kWindowKey, kWindowValue, value);
}

} // namespace tv
