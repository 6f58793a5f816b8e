#include "troubleshooter_window.h"

#include "folder_dialog.h"
#include "platform/text_util.h"
#include "ui/qt/qt_text.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace tv {

namespace {

QPushButton* button(QWidget* parent, const char* name, const QString& caption,
                    const QString& tip = {}) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    if (!tip.isEmpty()) b->setToolTip(tip);
    return b;
}

QLineEdit* field(QWidget* parent, const char* name) {
    auto* f = new QLineEdit(parent);
    f->setObjectName(name);
    f->setReadOnly(true);
    return f;
}

QListWidget* list(QWidget* parent, const char* name) {
    auto* l = new QListWidget(parent);
    l->setObjectName(name);
    l->setTextElideMode(Qt::ElideNone);
    return l;
}

} // namespace

TroubleshooterWindow::TroubleshooterWindow(RegistryStore& registry, Prompter& prompter,
                                           Shell& shell, std::string reportPath, QWidget* parent)
    : QWidget(parent), m_t(registry, prompter, shell), m_reportPath(std::move(reportPath)) {
    setObjectName("frmTroubleshooter");
    m_t.setFolderDialog([this](const FolderDialogRequest& r) { return askForFolder(this, r); });
    setWindowTitle(QString::fromStdString(Troubleshooter::caption()));
    txtUTRegDir = field(this, "txtUTRegDir");
    txtCacheRegDir = field(this, "txtCacheRegDir");
    lstCacheDir = list(this, "lstCacheDir");
    lstCacheINI = list(this, "lstCacheINI");
    cmdViewLog = button(this, "cmdViewLog", "&View Tessvane LOG");
    cmdSetUT = button(this, "cmdSetUT", "S&et UT Registry",
                      "Use this to set the root UT dir if u installed or moved UT manually");
    cmdReset = button(this, "cmdReset", "&Clear Tessvane Registry",
                      "Clears the registry setting Tessvane uses for the directory");
    cmdSave = button(this, "cmdSave", "&Save to " + toDisplay(m_reportPath));
    cmdMail =
        button(this, "cmdMail", "** Save the file FIRST **",
               "Mails the report to " + QString::fromStdString(Troubleshooter::supportAddress()));
    lblMailTo = new QLabel(
        "Questions and reports: " + QString::fromStdString(Troubleshooter::supportAddress()), this);
    lblMailTo->setObjectName("lblMailTo");
    lblMailTo->setTextInteractionFlags(Qt::TextSelectableByMouse);
    cmdMail->setEnabled(false);
    cmdExit = button(this, "cmdExit", "E&xit");

    auto* settings = new QGridLayout;
    settings->addWidget(new QLabel("UT Registry :", this), 0, 0);
    settings->addWidget(txtUTRegDir, 0, 1);
    settings->addWidget(cmdSetUT, 0, 2);
    settings->addWidget(new QLabel("Tessvane Registry :", this), 1, 0);
    settings->addWidget(txtCacheRegDir, 1, 1);
    settings->addWidget(cmdReset, 1, 2);
    auto* lists = new QGridLayout;
    lists->addWidget(new QLabel("Cache Directory Listing :", this), 0, 0);
    lists->addWidget(new QLabel("Cache.INI Contents :", this), 0, 1);
    lists->addWidget(lstCacheDir, 1, 0);
    lists->addWidget(lstCacheINI, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdViewLog);
    buttons->addStretch(1);
    buttons->addWidget(cmdSave);
    buttons->addWidget(cmdMail);
    buttons->addWidget(cmdExit);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(settings);
    layout->addLayout(lists, 1);
    // The address on a line of its own: the Save button grows with the report's path.
    layout->addWidget(lblMailTo);
    layout->addLayout(buttons);
    resize(820, 520);

    connect(cmdViewLog, &QPushButton::clicked, this, [this] { m_t.viewLog(); });
    connect(cmdSetUT, &QPushButton::clicked, this, [this] {
        m_t.SetGameRegistryFolder(false);
        txtUTRegDir->setText(toDisplay(m_t.utRegDir));
    });
    connect(cmdReset, &QPushButton::clicked, this, [this] {
        if (m_t.ResetProgramRegistry()) txtCacheRegDir->setText(toDisplay(m_t.cacheRegDir));
    });
    connect(cmdSave, &QPushButton::clicked, this, &TroubleshooterWindow::saveClicked);
    connect(cmdMail, &QPushButton::clicked, this, [this] { m_t.MailReport(m_reportPath); });
    connect(cmdExit, &QPushButton::clicked, this, &QWidget::close);
}

bool TroubleshooterWindow::start() {
    if (!m_t.start()) return false;
    showValues(m_t);
    return true;
}

void TroubleshooterWindow::showValues(const Troubleshooter& t) {
    txtUTRegDir->setText(toDisplay(t.utRegDir));
    txtCacheRegDir->setText(toDisplay(t.cacheRegDir));
    lstCacheDir->clear();
    // One entry, one line, whatever a name holds.
    for (const auto& f : t.cacheFiles)
        lstCacheDir->addItem(toDisplay(escapeControls(f)));
    lstCacheINI->clear();
    for (const auto& l : t.cacheIniLines)
        lstCacheINI->addItem(toDisplay(escapeControls(l)));
}

void TroubleshooterWindow::saveClicked() {
    // A report that could not be written leaves nothing to mail.
    if (!m_t.SaveReport(m_reportPath)) return;
    cmdMail->setText("E&mail the Info");
    cmdMail->setEnabled(true);
}

} // namespace tv
