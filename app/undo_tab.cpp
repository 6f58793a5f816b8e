#include "undo_tab.h"

#include "widgets.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace tv {

UndoTab::UndoTab(QWidget* parent) : QWidget(parent) {
    cmdUndo = makeButton(this, "cmdUndo", "&Undo Selections");
    cmdEmptyDB = makeButton(this, "cmdEmptyDB", "&Empty Database");
    cmdCompactDB = makeButton(this, "cmdCompactDB", "&Compact Database");
    lvUndo = new QTreeView(this);
    lvUndo->setObjectName("lvUndo");
    lvUndo->setRootIsDecorated(false);
    lvUndo->setUniformRowHeights(true);
    lvUndo->setAllColumnsShowFocus(true);
    // Long paths lose their middle, not their file name; the tool tip has it all.
    lvUndo->setTextElideMode(Qt::ElideMiddle);
    lblDBSize = makeLabel(this, "lblDBSize");

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdUndo);
    buttons->addWidget(cmdEmptyDB);
    buttons->addWidget(cmdCompactDB);
    buttons->addStretch(1);
    buttons->addWidget(new QLabel("Database SIze:", this));
    buttons->addWidget(lblDBSize);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lvUndo, 1);
    layout->addLayout(buttons);
}

} // namespace tv
