#include "never_move_tab.h"

#include "widgets.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace tv {

NeverMoveTab::NeverMoveTab(QWidget* parent) : QWidget(parent) {
    auto* current = makeFrame(this, "Current Files and Patterns");
    lstNM = new QListWidget(current);
    lstNM->setObjectName("lstNM");
    lstNM->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lstNM->setTextElideMode(Qt::ElideNone);
    lstNM->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    cmdNMRemove = makeButton(current, "cmdNMRemove", "Remove Selected");
    cmdNMSave = makeButton(current, "cmdNMSave", "Save Changes");
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
    txtNMAdd->setPlaceholderText("Type in the full filename (ex - CTF-Face.unr)");
    cmdNMAdd = makeButton(additions, "cmdNMAdd", "Add");
    auto* a = new QHBoxLayout(additions);
    a->addWidget(txtNMAdd, 1);
    a->addWidget(cmdNMAdd);

    label9 = makeLabel(this, "label9");
    label9->setWordWrap(true);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(current, 1);
    auto* right = new QVBoxLayout;
    right->addWidget(additions);
    right->addWidget(label9);
    right->addStretch(1);
    layout->addLayout(right, 1);
}

} // namespace tv
