#include "never_move_tab.h"

#include "widgets.h"

#include "platform/text_io.h"
#include "session/session.h"
#include "ui/prompter.h"
#include "ui/qt/qt_text.h"

#include <QFileSystemWatcher>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace tv {

NeverMoveTab::NeverMoveTab(Session& session, Prompter& prompter, QWidget* parent)
    : QWidget(parent), m_session(session), m_prompter(prompter) {
    auto* current = makeFrame(this, "Current Files and Patterns");
    lstNM = new QListWidget(current);
    lstNM->setObjectName("lstNM");
    lstNM->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lstNM->setTextElideMode(Qt::ElideNone);
    lstNM->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    cmdNMRemove = makeButton(current, "cmdNMRemove", "Remove &Selected");
    cmdNMSave = makeButton(current, "cmdNMSave", "Sa&ve Changes");
    Label8 = makeLabel(current, "Label8",
                       "Note - changes will NOT be saved until you click the \"Save Changes\" "
                       "button above");
    Label8->setWordWrap(true);
    // Its room is kept, so the list does not move when it shows.
    QSizePolicy keep = Label8->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    Label8->setSizePolicy(keep);
    Label8->setVisible(false);
    auto* c = new QVBoxLayout(current);
    c->addWidget(lstNM, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdNMRemove);
    buttons->addWidget(cmdNMSave);
    c->addLayout(buttons);
    c->addWidget(Label8);

    auto* additions = makeFrame(this, "File and Pattern Additions");
    txtNMAdd = makeText(additions, "txtNMAdd");
    txtNMAdd->setPlaceholderText("Type in the full filename (ex - CTF-Face3.ut2)");
    cmdNMAdd = makeButton(additions, "cmdNMAdd", "&Add");
    auto* a = new QHBoxLayout(additions);
    a->addWidget(txtNMAdd, 1);
    a->addWidget(cmdNMAdd);

    label9 = makeLabel(this, "label9",
                       "NOTES: \n"
                       "- you can add files from the File List tab by right-clicking a filename\n"
                       "- the * wildcard is supported\n"
                       "  (Ex - UTPure* would mean UTPureR4 and UTPureR5 are on the Never Move "
                       "List)\n"
                       "  (Currently the * function only supports text to the left of the * - \n"
                       "  ctf* is valid, but *.u is NOT valid)");
    label9->setWordWrap(true);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(current, 2);
    auto* right = new QVBoxLayout;
    right->addWidget(additions);
    right->addWidget(label9);
    right->addStretch(1);
    // The notes' lines keep their breaks where the window leaves them room;
    // the list's short patterns need less.
    layout->addLayout(right, 3);

    // Return in the box adds, as the button does.
    connect(txtNMAdd, &QLineEdit::returnPressed, this, &NeverMoveTab::addClicked);
    connect(cmdNMAdd, &QPushButton::clicked, this, &NeverMoveTab::addClicked);
    connect(cmdNMRemove, &QPushButton::clicked, this, &NeverMoveTab::removeClicked);
    connect(cmdNMSave, &QPushButton::clicked, this, &NeverMoveTab::saveClicked);

    // An edit in the text editor or by tessvane-cli replaces the file; the
    // folder's change notices that, the file's change an edit in place.
    m_watcher = new QFileSystemWatcher(this);
    // A rename shows as several changes: look once, when they have settled.
    m_recheck = new QTimer(this);
    m_recheck->setSingleShot(true);
    m_recheck->setInterval(150);
    connect(m_recheck, &QTimer::timeout, this, &NeverMoveTab::checkFileOnDisk);
    auto changed = [this] {
        watchFile();
        m_recheck->start();
    };
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, changed);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, changed);
    watchFile();
}

void NeverMoveTab::watchFile() {
    const QString file = QString::fromStdString(m_session.neverMoveEdits().path());
    const QString folder = QString::fromStdString(m_session.programFolder());
    if (!m_watcher->files().contains(file) && fileExists(file.toStdString()))
        m_watcher->addPath(file);
    if (!m_watcher->directories().contains(folder) && folderExists(folder.toStdString()))
        m_watcher->addPath(folder);
}

bool NeverMoveTab::keepEditsOverFile() {
    return m_prompter.question(
        "The never-move list was changed outside Tessvane (in the editor or by tessvane-cli) "
        "while this tab has changes that are not saved.\n\n"
        "Keep the changes made here? Yes keeps them (\"Save Changes\" then writes them over "
        "the file); No reads the list from the file and drops them.",
        "Never Move List Changed");
}

void NeverMoveTab::checkFileOnDisk() {
    // The question's own event loop may bring the next change: it is looked
    // at once this one is answered, never in a second box over the first.
    // While other work goes on (the tab is disabled) the list is not touched.
    if (m_asking || !isEnabled()) {
        m_recheck->start();
        return;
    }
    if (!m_session.neverMoveEdits().changedOnDisk()) return; // our own save, or nothing new
    if (m_session.neverMoveEdits().changed()) {
        m_asking = true;
        const bool keep = keepEditsOverFile();
        m_asking = false;
        if (keep) {
            m_session.neverMoveKeepEdits();
            return;
        }
    }
    m_session.reloadNeverMoveList();
    showLines();
}

bool NeverMoveTab::allowClose() {
    if (!m_session.neverMoveEdits().changed()) return true;
    switch (m_prompter.choose("Save the changes to the never-move list?")) {
    case Choice::Yes:
        saveClicked();
        return !m_session.neverMoveEdits().changed(); // a save that failed keeps the program open
    case Choice::No:
        return true;
    case Choice::Cancel:
        break;
    }
    return false;
}

void NeverMoveTab::showLines() {
    QStringList entries;
    for (const auto& e : m_session.neverMoveEdits().lines())
        entries << toDisplay(e);
    lstNM->clear();
    lstNM->addItems(entries);
    Label8->setVisible(m_session.neverMoveEdits().changed());
}

void NeverMoveTab::addClicked() {
    if (!m_session.neverMoveAdd(fromText8(txtNMAdd->text()))) return;
    txtNMAdd->clear();
    showLines();
}

void NeverMoveTab::removeClicked() {
    std::vector<int> selected;
    for (QListWidgetItem* item : lstNM->selectedItems())
        selected.push_back(lstNM->row(item));
    m_session.neverMoveRemove(selected, lstNM->currentRow());
    showLines();
}

void NeverMoveTab::saveClicked() {
    // What an editor put into the file meanwhile is not overwritten unasked.
    if (m_session.neverMoveEdits().changedOnDisk()) {
        if (!m_session.neverMoveEdits().changed() || !keepEditsOverFile()) {
            m_session.reloadNeverMoveList();
            showLines();
            return;
        }
    }
    emit saving(true);
    if (m_session.told(m_session.neverMoveSave())) showLines();
    emit saving(false);
}

} // namespace tv
