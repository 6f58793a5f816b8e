#pragma once

#include "update/update_check.h"

#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QPushButton;
class QStatusBar;
class QTextEdit;

namespace tv {

class Prompter;
class Shell;

// frmUpdates: asks the maker's server whether a newer Tessvane exists and
// offers its download address. Not modal; it says when it is closed, and the
// main window keeps the one instance for the next check.
class UpdateWindow : public QWidget {
    Q_OBJECT
public:
    using PagesFactory = std::function<std::unique_ptr<PageSource>()>;
    UpdateWindow(Prompter& prompter, Shell& shell, PagesFactory pages, QWidget* parent = nullptr);

    // Shows the window and checks: off line, only a message (the window
    // closes without showing); otherwise the result is shown and raised.
    void check();
    bool checking() const { return m_checking; }
    // Ends a check under way at once: the program is closing.
    void abort();

    QLabel* lblUpdateDesc;
    QLabel* lblUpdates;
    QTextEdit* rtxtUpdate;
    QPushButton* cmdGetUpdate;
    QPushButton* cmdExit;
    QStatusBar* sb;
    QLabel* sbPanel2;

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    Prompter& m_prompter;
    Shell& m_shell;
    PagesFactory m_pages;
    bool m_checking = false;
    PageSource* m_activePages = nullptr; // while a check reads its pages
    std::string m_address;               // the download address the button opens
};

} // namespace tv
