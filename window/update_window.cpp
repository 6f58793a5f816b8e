#include "update_window.h"

#include "widgets.h"

#include "ui/prompter.h"
#include "ui/qt/qt_text.h"
#include "update/internet_connection.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTextEdit>
#include <QVBoxLayout>

namespace tv {

UpdateWindow::UpdateWindow(Prompter& prompter, Shell& shell, PagesFactory pages, QWidget* parent)
    : QWidget(parent, Qt::Window), m_prompter(prompter), m_shell(shell), m_pages(std::move(pages)) {
    setObjectName("frmUpdates");
    setWindowTitle("Updates");
    lblUpdateDesc = makeLabel(this, "lblUpdateDesc", "Update Description:");
    lblUpdates = makeLabel(this, "lblUpdates");
    lblUpdates->setTextFormat(Qt::PlainText); // what a server sent is never markup
    lblUpdates->setWordWrap(true);
    rtxtUpdate = new QTextEdit(this);
    rtxtUpdate->setObjectName("rtxtUpdate");
    rtxtUpdate->setReadOnly(true);
    rtxtUpdate->setVisible(false);
    cmdGetUpdate = makeButton(this, "cmdGetUpdate", "Download");
    cmdGetUpdate->setVisible(false);
    cmdExit = makeButton(this, "cmdExit", "&Close Update");
    sb = new QStatusBar(this);
    sb->setObjectName("sb");
    sb->setSizeGripEnabled(false);
    sbPanel2 = makeLabel(this, "sbPanel2");
    sb->addWidget(sbPanel2, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblUpdates);
    layout->addWidget(lblUpdateDesc);
    layout->addWidget(rtxtUpdate, 1);
    layout->addWidget(cmdGetUpdate);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(cmdExit);
    layout->addLayout(bottom);
    layout->addWidget(sb);
    resize(480, 320);
    closeOnEscape(this);

    connect(cmdExit, &QPushButton::clicked, this, &QWidget::close);
    connect(cmdGetUpdate, &QPushButton::clicked, this, [this] {
        m_shell.openDocument(m_address);
        close();
    });
}

void UpdateWindow::check() {
    // Nothing of an earlier check stays.
    lblUpdates->clear();
    rtxtUpdate->clear();
    rtxtUpdate->setVisible(false);
    cmdGetUpdate->setVisible(false);
    if (!updateServerIsSet()) {
        m_prompter.message(kNoUpdateServerText);
        close();
        return;
    }
    if (!CInternetConnection().Connected()) {
        // The window is not shown at all: there is nothing to show.
        m_prompter.message("Connect to the internet before checking for updates.");
        close();
        return;
    }
    showCentred(this);
    m_checking = true;
    sbPanel2->setText("Checking for updates...please wait.");
    UpdateResult result;
    {
        std::unique_ptr<PageSource> pages = m_pages();
        m_activePages = pages.get();
        result = checkForUpdate(*pages, updateServer(), runningVersion());
        m_activePages = nullptr;
    }
    m_checking = false;
    lblUpdates->setText(toDisplay(result.sentence()));
    if (result.state == UpdateResult::State::Update) {
        rtxtUpdate->setPlainText(toDisplay(result.description));
        rtxtUpdate->setVisible(true);
        // Only a web address is offered; anything else stays unopened.
        if (!result.address.empty()) {
            m_address = result.address;
            // "&" in a caption marks a shortcut; the address shows as it is.
            cmdGetUpdate->setText(toDisplay(result.address).replace('&', "&&"));
            cmdGetUpdate->setVisible(true);
        }
    }
    sbPanel2->clear();
    raise();
    activateWindow();
}

void UpdateWindow::closeEvent(QCloseEvent* event) {
    emit closed();
    QWidget::closeEvent(event);
}

void UpdateWindow::abort() {
    if (m_activePages) m_activePages->abort();
}

} // namespace tv
