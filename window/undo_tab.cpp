#include "undo_tab.h"

#include "map_preview.h"

#include "background_work.h"

#include "widgets.h"

#include "engine/file_types.h"
#include "platform/text_io.h"
#include "session/session.h"
#include "ui/prompter.h"
#include "ui/qt/qt_text.h"
#include "undo_list_model.h"

#include "session/library.h"
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>

#include <QPushButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace tv {

UndoTab::UndoTab(Session& session, BackgroundWork& work, Prompter& prompter, QWidget* parent)
    : QWidget(parent), m_session(session), m_prompter(prompter), m_work(work) {
    cmdUndo = makeButton(this, "cmdUndo", "&Undo Selections");
    cmdEmptyDB = makeButton(this, "cmdEmptyDB", "&Empty Database");
    cmdCompactDB = makeButton(this, "cmdCompactDB", "&Compact Database");
    // Undoing a whole run must not take a click per file.
    cmdUndoCheckAll = makeButton(this, "cmdUndoCheckAll", "Check &All");
    cmdUndoUncheckAll = makeButton(this, "cmdUndoUncheckAll", "U&n-Check All");
    lvUndo = new QTreeView(this);
    lvUndo->setObjectName("lvUndo");
    lvUndo->setRootIsDecorated(false);
    lvUndo->setUniformRowHeights(true);
    lvUndo->setAllColumnsShowFocus(true);
    // Long paths lose their middle, not their file name; the tool tip has it all.
    lvUndo->setTextElideMode(Qt::ElideMiddle);
    lblDBSize = makeLabel(this, "lblDBSize");
    lvInstalls = new QTreeWidget(this);
    lvInstalls->setObjectName("lvInstalls");
    lvInstalls->setHeaderLabels({"Installed from archive, or removed", "Date", "Files"});
    lvInstalls->setTextElideMode(Qt::ElideMiddle);
    lvInstalls->setMaximumHeight(160);
    // The archive's name gives way; its date and count stay in view.
    lvInstalls->header()->setStretchLastSection(false);
    lvInstalls->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    lvInstalls->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    cmdUndoInstall = makeButton(this, "cmdUndoInstall", "Take &Back / Put Back");

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdUndoCheckAll);
    buttons->addWidget(cmdUndoUncheckAll);
    buttons->addWidget(cmdUndo);
    buttons->addWidget(cmdEmptyDB);
    buttons->addWidget(cmdCompactDB);
    buttons->addStretch(1);
    buttons->addWidget(new QLabel("Database Size:", this));
    buttons->addWidget(lblDBSize);
    auto* installButtons = new QHBoxLayout;
    installButtons->addWidget(cmdUndoInstall);
    installButtons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lvUndo, 1);
    layout->addLayout(buttons);
    // The chosen map beside the installations, where the list keeps its rows.
    m_preview = new MapPreview("undoMapPreview", this);
    auto* below = new QHBoxLayout;
    below->addWidget(lvInstalls, 1);
    below->addWidget(m_preview, 1, Qt::AlignTop);
    layout->addLayout(below);
    layout->addLayout(installButtons);

    m_model = new UndoListModel(this);
    makeSortableList(lvUndo, m_model, {1, 2}); // both paths in view, sharing the width
    connect(lvUndo->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &UndoTab::previewChosen);

    connect(cmdUndo, &QPushButton::clicked, this, &UndoTab::undoClicked);
    connect(cmdEmptyDB, &QPushButton::clicked, this, &UndoTab::emptyClicked);
    connect(cmdCompactDB, &QPushButton::clicked, this, &UndoTab::compactClicked);
    connect(cmdUndoCheckAll, &QPushButton::clicked, this, [this] { m_model->setAllTicked(true); });
    connect(cmdUndoUncheckAll, &QPushButton::clicked, this,
            [this] { m_model->setAllTicked(false); });
    connect(lvUndo->header(), &QHeaderView::sectionClicked, this, &UndoTab::sortClicked);
    connect(cmdUndoInstall, &QPushButton::clicked, this, &UndoTab::undoInstallClicked);
}

void UndoTab::showInstallations() {
    lvInstalls->clear();
    for (const auto& in : m_session.installations()) {
        auto* item = new QTreeWidgetItem(
            lvInstalls, {toDisplay(fileNameOf(in.archive)), toDisplay(in.date),
                         QString::number(static_cast<qulonglong>(in.files.size()))});
        item->setToolTip(0, toDisplay(in.archive));
        item->setCheckState(0, Qt::Unchecked);
        for (const auto& f : in.files)
            addPath(item, f.path);
    }
    // The files the library removed, one item per day.
    QTreeWidgetItem* removed = nullptr;
    for (const auto& r : PackageLibrary(m_session, m_prompter).removals()) {
        if (!removed || removed->text(1) != toDisplay(r.date)) {
            removed = new QTreeWidgetItem(lvInstalls, {"Removed from the game", toDisplay(r.date)});
            removed->setData(0, Qt::UserRole, true);
            removed->setCheckState(0, Qt::Unchecked);
        }
        addPath(removed, r.path);
        removed->setText(2, QString::number(removed->childCount()));
    }
    cmdUndoInstall->setEnabled(lvInstalls->topLevelItemCount() > 0);
}

void UndoTab::addPath(QTreeWidgetItem* under, const std::string& path) {
    auto* file = new QTreeWidgetItem(under, {toDisplay(path)});
    file->setToolTip(0, toDisplay(path));
    // The path's own bytes: a name that is no UTF-8 is found again as it is.
    file->setData(0, Qt::UserRole, toBytes(path));
    file->setFirstColumnSpanned(true); // a whole path, across the columns
}

void UndoTab::undoInstallClicked() {
    std::vector<std::string> paths, removed;
    for (int i = 0; i < lvInstalls->topLevelItemCount(); ++i) {
        QTreeWidgetItem* in = lvInstalls->topLevelItem(i);
        if (in->checkState(0) != Qt::Checked) continue;
        auto& into = in->data(0, Qt::UserRole).toBool() ? removed : paths;
        for (int j = 0; j < in->childCount(); ++j)
            into.push_back(fromBytes(in->child(j)->data(0, Qt::UserRole).toByteArray()));
    }
    if (paths.empty() && removed.empty()) {
        m_prompter.message("Please select installations to take back or removals to put back.");
        return;
    }
    if (!m_prompter.question(
            "Take back the files of the selected installations and put the removed files "
            "back?\n\nA file changed since it was installed stays where it is.",
            "Take Back / Put Back", MessageIcon::Exclamation))
        return;
    m_work.start(
        [this, paths, removed] {
            if (!paths.empty()) m_session.told(m_session.undoInstalledFiles(paths));
            if (!removed.empty())
                m_session.told(PackageLibrary(m_session, m_prompter).putBack(removed));
        },
        false,
        [this] {
            emit filesMovedBack();
            LoadUndoList();
        });
}

void UndoTab::previewChosen() {
    const QModelIndex current = lvUndo->currentIndex();
    const auto& records = m_model->records();
    if (!current.isValid() || static_cast<size_t>(current.row()) >= records.size()) {
        m_preview->showNothing();
        return;
    }
    const std::string& file = records[current.row()].NewFName;
    const auto size = fileSize(file);
    const auto modified = fileModified(file);
    if (fileTypeOf(file) != FileType::Map || !size || !modified) {
        m_preview->showNothing();
        return;
    }
    // The installed file as it is now: another one of that name reads again.
    m_preview->showMap(file, fileNameOf(file),
                       file + ":" + std::to_string(*size) + ":" + std::to_string(*modified),
                       m_session.folders());
}

void UndoTab::LoadUndoList() {
    lblDBSize->setText(QString::fromStdString(m_session.undoLogSize()));
    std::vector<UndoRecord> records;
    m_session.undoRecords(records);
    m_model->setRecords(std::move(records));
    showInstallations();
}

void UndoTab::undoClicked() {
    std::vector<std::string> names;
    for (const auto& r : m_model->tickedRecords())
        names.push_back(r.NewFName);
    if (m_session.confirmUndo(names)) return;
    // The files go back off the window's thread; Stop ends the undo between files.
    auto undone = std::make_shared<bool>(false);
    m_work.start([this, names, undone] { *undone = m_session.told(m_session.undo({names})); }, true,
                 [this, undone] {
                     if (!*undone) return;
                     emit filesMovedBack();
                     LoadUndoList();
                 });
}

void UndoTab::emptyClicked() {
    if (!m_session.confirmEmptyUndoLog() || !m_session.told(m_session.emptyUndoLog())) return;
    LoadUndoList();
}

void UndoTab::compactClicked() {
    m_session.told(m_session.compactUndoLog());
    lblDBSize->setText(QString::fromStdString(m_session.undoLogSize()));
}

void UndoTab::sortClicked(int column) {
    m_sortOrder = m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    m_model->sort(column, m_sortOrder);
    lvUndo->header()->setSortIndicator(column, m_sortOrder);
}

} // namespace tv
