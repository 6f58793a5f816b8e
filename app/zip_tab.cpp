#include "zip_tab.h"

#include "widgets.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>

namespace tv {

ZipTab::ZipTab(QWidget* parent) : QWidget(parent) {
    frmDrop = makeFrame(this, "Drop files here");
    frmDrop->setObjectName("frmDrop");
    frmDrop->setMinimumHeight(80);

    auto* options = makeFrame(this, "Options");
    chkUnZIPNoPreview = makeCheck(options, "chkUnZIPNoPreview", "U&nZIP without preview");
    (new QVBoxLayout(options))->addWidget(chkUnZIPNoPreview);

    txtTextFile = makeText(this, "txtTextFile", "Hidden to store text file location");
    txtTextFile->setVisible(false);
    cmdOpenZIP = makeButton(this, "cmdOpenZIP", "Open ZIP file(s)");
    cmdProcessLoadedZIP = makeButton(this, "cmdProcessLoadedZIP", "Process Loaded ZIP");
    cmdShowZIPDesc = makeButton(this, "cmdShowZIPDesc", "Open Description in Notepad");
    cmdEnlargePic = makeButton(this, "cmdEnlargePic", "Enlarge Picture");

    auto* description = makeFrame(this, "Description");
    txtFileDesc = new QTextEdit(description);
    txtFileDesc->setObjectName("txtFileDesc");
    txtFileDesc->setReadOnly(true);
    (new QVBoxLayout(description))->addWidget(txtFileDesc);

    auto* preview = makeFrame(this, "Included Preview");
    picFile = makeLabel(preview, "picFile");
    picFile->setMinimumSize(160, 120);
    picFile->setAlignment(Qt::AlignCenter);
    (new QVBoxLayout(preview))->addWidget(picFile);

    lblMapName = makeLabel(this, "lblMapName");

    auto* grid = new QGridLayout(this);
    grid->addWidget(frmDrop, 0, 0);
    grid->addWidget(options, 1, 0);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(cmdOpenZIP);
    buttons->addWidget(cmdProcessLoadedZIP);
    buttons->addWidget(cmdShowZIPDesc);
    buttons->addWidget(cmdEnlargePic);
    buttons->addStretch(1);
    grid->addLayout(buttons, 2, 0);
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(new QLabel("Map Name:", this));
    nameRow->addWidget(lblMapName, 1);
    grid->addLayout(nameRow, 0, 1);
    grid->addWidget(description, 1, 1, 2, 1);
    grid->addWidget(preview, 0, 2, 3, 1);
    grid->addWidget(txtTextFile, 3, 0);
}

} // namespace tv
