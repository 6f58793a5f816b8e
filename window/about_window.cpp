#include "about_window.h"

#include "widgets.h"

#include "platform/program_folder.h"
#include "platform/text_io.h"
#include "ui/prompter.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tv {

namespace {
const char* const kMaker = "mailto:tessvane@example.org";
const char* const kWebsite = "https://tessvane.example.org/";
} // namespace

AboutWindow::AboutWindow(const std::string& programFolder, Prompter& prompter, Shell& shell,
                         SoundPlayer& sound, QWidget* parent)
    : QDialog(parent), m_programFolder(programFolder), m_prompter(prompter), m_shell(shell),
      m_sound(sound) {
    setObjectName("frmAbout");
    setModal(false);
    setWindowTitle("About Tessvane");
    auto* lblTitle = makeLabel(this, "lblTitle", "Tessvane");
    QFont big = lblTitle->font();
    big.setPointSize(big.pointSize() + 6);
    big.setBold(true);
    lblTitle->setFont(big);
    QStringList v = QCoreApplication::applicationVersion().split('.');
    while (v.size() < 3)
        v << "0";
    auto* lblVersion =
        makeLabel(this, "lblVersion", "Build Version " + v[0] + "." + v[1] + "." + v[2]);
    auto* lblDescription =
        makeLabel(this, "lblDescription",
                  "This utility will clean out your Cache folder and Cache.INI file."
                  " All files will be moved to their specific directories"
                  " or where you specify.\n\n"
                  " A LOG file is created in the directory this application resides.\n\n"
                  " Please see the main Help file for full documentation and all capabilities.");
    lblDescription->setWordWrap(true);
    auto* lblEmail = makeLabel(this, "lblEmail", "<a href=\"mail\">tessvane@example.org</a>");
    auto* lblWebsite = makeLabel(this, "lblWebsite", "<a href=\"web\">tessvane.example.org</a>");
    connect(lblEmail, &QLabel::linkActivated, this, [this] { m_shell.openDocument(kMaker); });
    connect(lblWebsite, &QLabel::linkActivated, this, [this] { m_shell.openDocument(kWebsite); });
    auto* cmdSysInfo = makeButton(this, "cmdSysInfo", "&System Info...");
    auto* cmdOK = makeButton(this, "cmdOK", "&OK");
    connect(cmdSysInfo, &QPushButton::clicked, this, &AboutWindow::StartSysInfo);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::hide);
    cmdOK->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblTitle);
    layout->addWidget(lblVersion);
    layout->addWidget(lblDescription);
    layout->addWidget(lblEmail);
    layout->addWidget(lblWebsite);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdSysInfo);
    layout->addLayout(buttons);
}

void AboutWindow::StartSysInfo() {
    for (const char* tool : {"hardinfo", "gnome-system-monitor", "ksysguard"}) {
        if (auto path = findProgram(tool); path && m_shell.startProgram(*path)) return;
    }
    m_prompter.message("System Information Is Unavailable At This Time");
}

void AboutWindow::mousePressEvent(QMouseEvent* event) {
    m_sound.play(findInFolder(shippedFolder(m_programFolder), "e.wav"));
    QDialog::mousePressEvent(event);
}

} // namespace tv
