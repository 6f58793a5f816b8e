#include "options_tab.h"

#include "widgets.h"

#include "session/session.h"
#include "ui/prompter.h"
#include "ui/qt/qt_text.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

namespace tv {

namespace {
const char* const kReminder =
    "Remember to click the 'Commit Changes to List' button before clicking 'Run'";
} // namespace

OptionsTab::OptionsTab(Session& session, Prompter& prompter, QWidget* parent)
    : QWidget(parent), m_session(session), m_prompter(prompter) {
    QWidget* backups = buildBackups();
    QWidget* errors = buildErrorMessages();
    QWidget* selection = buildSelection();
    QWidget* processing = buildProcessing();
    QWidget* misc = buildMisc();
    QWidget* updates = buildUpdates();
    lblRemind = makeLabel(this, "lblRemind");
    lblRemind->setStyleSheet("color: #c00000; font-weight: bold;");

    // Two columns, each frame right under the one before it (rows shared
    // across the columns would leave gaps), the reminder in the shorter one:
    // the tab fits a small screen whole.
    auto* left = new QVBoxLayout;
    for (QWidget* frame : {backups, errors, selection, updates})
        left->addWidget(frame);
    left->addStretch(1);
    auto* right = new QVBoxLayout;
    for (QWidget* frame : {processing, misc})
        right->addWidget(frame);
    lblRemind->setWordWrap(true);
    right->addWidget(lblRemind);
    right->addStretch(1);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(right, 1);

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(2500);
    connect(Timer1, &QTimer::timeout, this, [this] {
        lblRemind->setText(lblRemind->text().isEmpty() ? QString(kReminder) : QString());
    });

    connectControls();
}

QWidget* OptionsTab::buildBackups() {
    auto* backups = makeFrame(this, "Backups");
    chkBackupCache =
        makeCheck(backups, "chkBackupCache", "Backup entire cache directory before running",
                  "Creates a ZIP file in the cache directory of all cache files");
    (new QVBoxLayout(backups))->addWidget(chkBackupCache);

    return backups;
}

QWidget* OptionsTab::buildErrorMessages() {
    auto* errors = makeFrame(this, "Error Messages");
    chkMissingExt = makeCheck(errors, "chkMissingExt", "Show missing extension alerts");
    (new QVBoxLayout(errors))->addWidget(chkMissingExt);

    return errors;
}

QWidget* OptionsTab::buildSelection() {
    auto* selection = makeFrame(this, "File Selection");
    optSelectAll =
        makeOption(selection, "optSelectAll", "S&elect all files automatically", "Default");
    optSelectOnly = makeOption(selection, "optSelectOnly",
                               "Se&lect only these file types :", "Pick the file types to move");
    chkUAX = makeCheck(selection, "chkUAX", "Sound files");
    chkUMX = makeCheck(selection, "chkUMX", "Music files");
    chkUT2 = makeCheck(selection, "chkUT2", "Map files");
    chkUTX = makeCheck(selection, "chkUTX", "Texture files");
    chkU = makeCheck(selection, "chkU", "System files");
    chkUKX = makeCheck(selection, "chkUKX", "Animations");
    chkUSX = makeCheck(selection, "chkUSX", "Static Meshes");
    cmdCommitFileTypes = makeButton(selection, "cmdCommitFileTypes", "&Commit Changes to List");
    auto* sel = new QGridLayout(selection);
    sel->addWidget(optSelectAll, 0, 0, 1, 3);
    sel->addWidget(optSelectOnly, 1, 0, 1, 3);
    QCheckBox* boxes[] = {chkUAX, chkUMX, chkUT2, chkUTX, chkU, chkUKX, chkUSX};
    for (int i = 0; i < 7; ++i)
        sel->addWidget(boxes[i], 2 + i / 3, i % 3);
    // Beside the last box, where a row of its own would cost the tab height.
    sel->addWidget(cmdCommitFileTypes, 4, 1, 1, 2);

    return selection;
}

QWidget* OptionsTab::buildProcessing() {
    auto* processing = makeFrame(this, "File Processing");
    optMoveNorm =
        makeOption(processing, "optMoveNorm", "&Move all files to proper directories",
                   "Move all files to your UT dir and places them in their relative dirs");
    optMoveDir = makeOption(processing, "optMoveDir", "M&ove all files to one directory :",
                            "Moves all files to one dir with no subdirs created");
    txtMoveDir = makeText(processing, "txtMoveDir");
    cmdMoveDir = makeButton(processing, "cmdMoveDir", "...", "Selects a directory");
    optMoveDir2 = makeOption(processing, "optMoveDir2",
                             "Mo&ve all files to other directory with proper structure:",
                             "Moves files and creates proper dirs if needed");
    txtMoveDir2 = makeText(processing, "txtMoveDir2");
    cmdMoveDir2 = makeButton(processing, "cmdMoveDir2", "...", "Selects a directory");
    // A hidden folder box keeps its room, so nothing below it moves.
    for (QWidget* w :
         std::initializer_list<QWidget*>{txtMoveDir, cmdMoveDir, txtMoveDir2, cmdMoveDir2}) {
        QSizePolicy keep = w->sizePolicy();
        keep.setRetainSizeWhenHidden(true);
        w->setSizePolicy(keep);
    }
    auto* proc = new QGridLayout(processing);
    proc->addWidget(optMoveNorm, 0, 0, 1, 2);
    proc->addWidget(optMoveDir, 1, 0, 1, 2);
    proc->addWidget(txtMoveDir, 2, 0);
    proc->addWidget(cmdMoveDir, 2, 1);
    proc->addWidget(optMoveDir2, 3, 0, 1, 2);
    proc->addWidget(txtMoveDir2, 4, 0);
    proc->addWidget(cmdMoveDir2, 4, 1);

    return processing;
}

QWidget* OptionsTab::buildMisc() {
    auto* misc = makeFrame(this, "Misc");
    txtPurgeCacheDays =
        makeText(misc, "txtPurgeCacheDays",
                 "Change this to set the number of days until the cache is cleaned.");
    txtPurgeCacheDays->setMaximumWidth(60);
    cmdSetPurge = makeButton(misc, "cmdSetPurge", "&Set");
    cmdPurgeNow = makeButton(misc, "cmdPurgeNow", "&Purge Cache Files");
    Label4 = makeLabel(misc, "Label4", "WARNING - this DELETES all cache files!");
    cmdDelCacheTmp = makeButton(misc, "cmdDelCacheTmp", "&Delete Cache TMP Files");
    Label7 = makeLabel(misc, "Label7", "SAFE to do anytime");
    chkCleanTMP = makeCheck(misc, "chkCleanTMP", "Run on startup");
    cmdTidy = makeButton(misc, "cmdTidy", "T&idy Cache...");
    auto* tidyNote =
        makeLabel(misc, "lblTidy", "Deletes copies of installed packages (asks first)");
    // The notes wrap rather than widen the window.
    for (QLabel* note : {Label4, Label7, tidyNote})
        note->setWordWrap(true);
    auto* m = new QGridLayout(misc);
    m->setColumnStretch(1, 1);
    auto* purgeRow = new QHBoxLayout;
    purgeRow->addWidget(new QLabel("Purge Cache Setting :", misc));
    purgeRow->addWidget(txtPurgeCacheDays);
    purgeRow->addWidget(new QLabel("days", misc));
    purgeRow->addWidget(cmdSetPurge);
    purgeRow->addStretch(1);
    m->addLayout(purgeRow, 0, 0, 1, 2);
    m->addWidget(cmdPurgeNow, 1, 0);
    m->addWidget(Label4, 1, 1);
    m->addWidget(cmdDelCacheTmp, 2, 0);
    m->addWidget(Label7, 2, 1);
    m->addWidget(chkCleanTMP, 3, 0);
    m->addWidget(cmdTidy, 4, 0);
    m->addWidget(tidyNote, 4, 1);
    buildAfterGame(misc, m, 5);

    return misc;
}

QWidget* OptionsTab::buildUpdates() {
    auto* updates = makeFrame(this, "Updates");
    chkAutoUpdate = makeCheck(updates, "chkAutoUpdate", "Check for updates on startup");
    cmdUpdate = makeButton(updates, "cmdUpdate", kCheckForUpdatesCaption);
    auto* u = new QVBoxLayout(updates);
    u->addWidget(chkAutoUpdate);
    u->addWidget(cmdUpdate, 0, Qt::AlignLeft);

    return updates;
}

// A row of Misc: the watch that moves new downloads after each game, and
// whether it runs.
void OptionsTab::buildAfterGame(QWidget* misc, QGridLayout* grid, int row) {
    chkAfterGame = makeCheck(misc, "chkAfterGame", "Move new downloads after each game");
    chkAfterGame->setToolTip("Starts tessvane-cli watch with the desktop: when a game ends, the "
                             "packages it downloaded move as Run would move them");
    lblAfterGame = makeLabel(misc, "lblAfterGame");
    // Across both columns: the box's long text does not narrow the notes.
    auto* line = new QHBoxLayout;
    line->addWidget(chkAfterGame);
    line->addWidget(lblAfterGame, 1);
    grid->addLayout(line, row, 0, 1, 2);
    afterGameTimer = new QTimer(this);
    afterGameTimer->setInterval(2000);
    connect(afterGameTimer, &QTimer::timeout, this, [this] { showAfterGame(); });
}

// Asks the system (systemctl may take seconds) off the window's thread,
// turning the watch on or off first when `turn` says so; one question at a
// time, the box disabled meanwhile.
void OptionsTab::askAfterGame(std::optional<bool> turn) {
    if (m_afterGameAsking) return;
    m_afterGameAsking = true;
    chkAfterGame->setEnabled(false);
    const AfterGameService service = m_session.afterGameService();
    struct Answer {
        AfterGameState state;
        std::string error;
    };
    m_asking
        .start([service, turn] {
            Answer a;
            if (turn && !service.turn(*turn, &a.error) && a.error.empty())
                a.error = "the system did not say why";
            a.state = service.state();
            return a;
        })
        .then(this, [this, turn](Answer a) { afterGameAnswered(a.state, a.error, turn); });
}

void OptionsTab::afterGameAnswered(const AfterGameState& state, const std::string& error,
                                   std::optional<bool> turned) {
    m_afterGameAsking = false;
    m_afterGameOn = state.on;
    m_afterGameSystemd = state.systemd;
    chkAfterGame->setEnabled(true);
    showAfterGame();
    if (!error.empty())
        m_prompter.message(std::string(*turned
                                           ? "Moves after each game could not be turned on: "
                                           : "Moves after each game could not be turned off: ") +
                           error);
}

void OptionsTab::showAfterGame() {
    const bool running = m_session.afterGameWatchRunning();
    const QSignalBlocker quiet(chkAfterGame);
    chkAfterGame->setChecked(m_afterGameOn);
    const QString how = m_afterGameSystemd ? "a systemd user service" : "the desktop's autostart";
    // Short, beside the box; the whole story in its tool tip.
    QString text, tip;
    if (running) {
        text = "Running";
        tip = m_afterGameOn ? "The watch runs; it starts with the desktop by " + how
                            : "The watch runs; it was started by hand";
    } else {
        text = m_afterGameOn ? "Starts at next login" : "Not running";
        tip = m_afterGameOn ? "The watch does not run now; it starts with the next login by " + how
                            : "The watch does not run";
    }
    lblAfterGame->setToolTip(tip);
    if (lblAfterGame->text() != text) lblAfterGame->setText(text);
}

void OptionsTab::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    askAfterGame();
    afterGameTimer->start();
}

void OptionsTab::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    afterGameTimer->stop();
}

void OptionsTab::connectControls() {
    connect(chkAfterGame, &QCheckBox::clicked, this, [this](bool on) { askAfterGame(on); });
    connect(cmdCommitFileTypes, &QPushButton::clicked, this, &OptionsTab::commitRequested);
    connect(optSelectAll, &QRadioButton::clicked, this, &OptionsTab::selectAllClicked);
    connect(optSelectOnly, &QRadioButton::clicked, this, &OptionsTab::selectOnlyClicked);
    for (QCheckBox* box : typeBoxes())
        connect(box, &QCheckBox::clicked, this, [this] { ShowCommitReminder(true); });
    connect(optMoveNorm, &QRadioButton::clicked, this, [this] { moveOptionClicked(0); });
    connect(optMoveDir, &QRadioButton::clicked, this, [this] { moveOptionClicked(1); });
    connect(optMoveDir2, &QRadioButton::clicked, this, [this] { moveOptionClicked(2); });
    connect(cmdMoveDir, &QPushButton::clicked, this, [this] { browse(txtMoveDir); });
    connect(cmdMoveDir2, &QPushButton::clicked, this, [this] { browse(txtMoveDir2); });
    connect(cmdSetPurge, &QPushButton::clicked, this, &OptionsTab::setPurgeClicked);
    connect(cmdPurgeNow, &QPushButton::clicked, this, &OptionsTab::purgeRequested);
    connect(cmdTidy, &QPushButton::clicked, this, &OptionsTab::tidyRequested);
    connect(cmdDelCacheTmp, &QPushButton::clicked, this,
            [this] { m_session.told(m_session.deleteTempFiles()); });
    connect(cmdUpdate, &QPushButton::clicked, this, &OptionsTab::updateRequested);
    // Every change of a control is a change of the settings, at once: no
    // command has to collect them first.
    for (QAbstractButton* b : findChildren<QAbstractButton*>())
        if (b->isCheckable() && b != chkAfterGame)
            connect(b, &QAbstractButton::toggled, this, &OptionsTab::storeSettings);
    for (QLineEdit* e : findChildren<QLineEdit*>())
        connect(e, &QLineEdit::textChanged, this, &OptionsTab::storeSettings);
}

void OptionsTab::storeSettings() {
    if (m_loading) return; // the controls are being set from the settings
    m_session.changeSettings([this](Settings& s) { store(s); });
    m_session.setPurgeDaysText(purgeDays());
}

void OptionsTab::load(const Settings& s) {
    m_loading = true;
    struct Loaded {
        bool& loading;
        ~Loaded() { loading = false; }
    } loaded{m_loading};
    optSelectAll->setChecked(s.selectAll);
    optSelectOnly->setChecked(s.selectOnly);
    chkMissingExt->setChecked(s.extAlert);
    chkU->setChecked(s.U);
    chkUAX->setChecked(s.UAX);
    chkUMX->setChecked(s.UMX);
    chkUT2->setChecked(s.UT2);
    chkUTX->setChecked(s.UTX);
    chkUSX->setChecked(s.USX);
    chkUKX->setChecked(s.UKX);
    chkAutoUpdate->setChecked(s.autoUpdate);
    chkCleanTMP->setChecked(false); // never stored
    optMoveNorm->setChecked(s.moveNorm);
    optMoveDir->setChecked(s.moveDir);
    optMoveDir2->setChecked(s.moveDir2);
    showDestinationFolders(s);
    chkBackupCache->setChecked(s.backupCache);
    updateTypeBoxesEnabled();
    updateDestinationControls();
}

void OptionsTab::store(Settings& s) const {
    s.selectAll = optSelectAll->isChecked();
    s.selectOnly = optSelectOnly->isChecked();
    s.extAlert = chkMissingExt->isChecked();
    s.U = chkU->isChecked();
    s.UAX = chkUAX->isChecked();
    s.UMX = chkUMX->isChecked();
    s.UT2 = chkUT2->isChecked();
    s.UTX = chkUTX->isChecked();
    s.USX = chkUSX->isChecked();
    s.UKX = chkUKX->isChecked();
    s.autoUpdate = chkAutoUpdate->isChecked();
    s.moveNorm = optMoveNorm->isChecked();
    s.moveDir = optMoveDir->isChecked();
    // A stored folder whose name is no UTF-8 keeps its bytes while its box
    // is left as it was.
    s.moveDirText = pathFromBox(txtMoveDir->text(), s.moveDirText);
    s.moveDir2 = optMoveDir2->isChecked();
    s.moveDir2Text = pathFromBox(txtMoveDir2->text(), s.moveDir2Text);
    s.backupCache = chkBackupCache->isChecked();
}

void OptionsTab::showPurgeDays(const std::string& days) {
    m_loading = true;
    txtPurgeCacheDays->setText(toDisplay(days));
    m_loading = false;
}

std::string OptionsTab::purgeDays() const {
    return fromText8(txtPurgeCacheDays->text());
}

void OptionsTab::showDestinationFolders(const Settings& s) {
    m_loading = true;
    txtMoveDir->setText(toDisplay(s.moveDirText));
    txtMoveDir2->setText(toDisplay(s.moveDir2Text));
    m_loading = false;
}

bool OptionsTab::autoUpdate() const {
    return chkAutoUpdate->isChecked();
}

void OptionsTab::ShowCommitReminder(bool blink) {
    lblRemind->setText(kReminder);
    if (blink)
        Timer1->start();
    else
        Timer1->stop();
}

void OptionsTab::clearReminder() {
    Timer1->stop();
    lblRemind->clear();
}

void OptionsTab::selectAllClicked() {
    optSelectAll->setChecked(true);
    optSelectOnly->setChecked(false);
    lblRemind->clear();
    updateTypeBoxesEnabled();
    emit commitRequested();
}

void OptionsTab::selectOnlyClicked() {
    optSelectOnly->setChecked(true);
    optSelectAll->setChecked(false);
    updateTypeBoxesEnabled();
}

void OptionsTab::updateTypeBoxesEnabled() {
    bool on = !optSelectAll->isChecked();
    for (QCheckBox* box : typeBoxes())
        box->setEnabled(on);
    cmdCommitFileTypes->setEnabled(on);
}

void OptionsTab::moveOptionClicked(int which) {
    QRadioButton* options[] = {optMoveNorm, optMoveDir, optMoveDir2};
    for (int i = 0; i < 3; ++i)
        options[i]->setChecked(i == which);
    updateDestinationControls();
}

void OptionsTab::updateDestinationControls() {
    // Only the chosen option's folder controls are shown; with none chosen
    // (a stored state only) nothing is hidden.
    bool dir = optMoveDir->isChecked(), dir2 = optMoveDir2->isChecked();
    bool norm = optMoveNorm->isChecked();
    bool showDir = dir || (!norm && !dir2);
    bool showDir2 = dir2 || (!norm && !dir);
    cmdMoveDir->setVisible(showDir);
    txtMoveDir->setVisible(showDir);
    cmdMoveDir2->setVisible(showDir2);
    txtMoveDir2->setVisible(showDir2);
}

void OptionsTab::browse(QLineEdit* box) {
    std::string folder = m_prompter.browseForFolder("Choose a folder:");
    if (!folder.empty()) box->setText(toDisplay(folder));
}

void OptionsTab::setPurgeClicked() {
    m_session.setPurgeDaysText(purgeDays());
    m_session.told(m_session.SetPurgeDays());
}

QList<QCheckBox*> OptionsTab::typeBoxes() const {
    return {chkU, chkUAX, chkUMX, chkUT2, chkUTX, chkUSX, chkUKX};
}

} // namespace tv
