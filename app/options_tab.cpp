#include "options_tab.h"

#include "widgets.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace tv {

OptionsTab::OptionsTab(QWidget* parent) : QWidget(parent) {
    auto* backups = makeFrame(this, "Backups");
    chkBackupCache =
        makeCheck(backups, "chkBackupCache", "Backup entire cache directory before running",
                  "Creates a ZIP file in the cache directory of all cache files");
    (new QVBoxLayout(backups))->addWidget(chkBackupCache);

    auto* errors = makeFrame(this, "Error Messages");
    chkMissingExt = makeCheck(errors, "chkMissingExt", "Show missing extension alerts");
    (new QVBoxLayout(errors))->addWidget(chkMissingExt);

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
    sel->addWidget(cmdCommitFileTypes, 5, 0, 1, 3);

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
    for (QWidget* w : std::initializer_list<QWidget*>{txtMoveDir, cmdMoveDir, txtMoveDir2, cmdMoveDir2}) {
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

    auto* misc = makeFrame(this, "Misc");
    txtPurgeCacheDays =
        makeText(misc, "txtPurgeCacheDays",
                 "Change this to set the number of days until the cache is cleaned.");
    txtPurgeCacheDays->setMaximumWidth(60);
    cmdSetPurge = makeButton(misc, "cmdSetPurge", "Set");
    cmdPurgeNow = makeButton(misc, "cmdPurgeNow", "Purge Cache Files");
    Label4 = makeLabel(misc, "Label4", "WARNING - this DELETES all cache files!");
    cmdDelCacheTmp = makeButton(misc, "cmdDelCacheTmp", "Delete Cache TMP Files");
    Label7 = makeLabel(misc, "Label7", "SAFE to do anytime");
    chkCleanTMP = makeCheck(misc, "chkCleanTMP", "Run on startup");
    auto* m = new QGridLayout(misc);
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

    auto* updates = makeFrame(this, "Updates");
    chkAutoUpdate = makeCheck(updates, "chkAutoUpdate", "Check for updates on startup");
    cmdUpdate = makeButton(updates, "cmdUpdate", "Check for Updates Now");
    auto* u = new QVBoxLayout(updates);
    u->addWidget(chkAutoUpdate);
    u->addWidget(cmdUpdate);

    lblRemind = makeLabel(this, "lblRemind");
    lblRemind->setStyleSheet("color: #c00000; font-weight: bold;");

    auto* grid = new QGridLayout(this);
    grid->addWidget(backups, 0, 0);
    grid->addWidget(errors, 1, 0);
    grid->addWidget(selection, 2, 0, 2, 1);
    grid->addWidget(processing, 0, 1, 2, 1);
    grid->addWidget(misc, 2, 1);
    grid->addWidget(updates, 3, 1);
    grid->addWidget(lblRemind, 4, 0, 1, 2);
    grid->setRowStretch(5, 1);
}

QList<QCheckBox*> OptionsTab::typeBoxes() const {
    return {chkU, chkUAX, chkUMX, chkUT2, chkUTX, chkUSX, chkUKX};
}

} // namespace tv
