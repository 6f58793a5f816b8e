#include "file_list_tab.h"

#include "widgets.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace tv {

FileListTab::FileListTab(QWidget* parent) : QWidget(parent) {
    cmdCacheDir =
        makeButton(this, "cmdCacheDir", "...", "Click here to select an alternative directory");
    cmdRescan = makeButton(this, "cmdRescan", "R&e-Scan");
    cmdUncheck = makeButton(this, "cmdUncheck", "&Un-Check All");
    cmdCheck = makeButton(this, "cmdCheck", "&Check All");
    cmdDelFiles = makeButton(this, "cmdDelFiles", "&Delete");

    ListView1 = new QTreeView(this);
    ListView1->setObjectName("ListView1");
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setAllColumnsShowFocus(true);
    // Long paths lose their middle, not their file name; the tool tip has it all.
    ListView1->setTextElideMode(Qt::ElideMiddle);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);

    lblCacheDir = makeLabel(this, "lblCacheDir");
    lblCacheDir->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* cacheRow = new QHBoxLayout;
    cacheRow->addWidget(new QLabel("Cache Directory :", this));
    cacheRow->addWidget(lblCacheDir, 1);
    cacheRow->addWidget(cmdCacheDir);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdRescan);
    buttons->addWidget(cmdUncheck);
    buttons->addWidget(cmdCheck);
    buttons->addStretch(1);
    buttons->addWidget(cmdDelFiles);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(cacheRow);
    layout->addWidget(ListView1, 1);
    layout->addLayout(buttons);
}

} // namespace tv
