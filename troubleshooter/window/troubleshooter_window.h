#pragma once

#include "troubleshooter/troubleshooter.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace tv {

// The troubleshooter's one window: the settings, the cache's lists, and the
// commands on them.
class TroubleshooterWindow : public QWidget {
    Q_OBJECT
public:
    TroubleshooterWindow(RegistryStore& registry, Prompter& prompter, Shell& shell,
                         std::string reportPath = Troubleshooter::defaultReportPath(),
                         QWidget* parent = nullptr);
    // The start: false when the user left instead of choosing a folder (the
    // program then ends, having written nothing).
    bool start();
    Troubleshooter& troubleshooter() { return m_t; }

private:
    void showValues(const Troubleshooter& t);
    void saveClicked();

    Troubleshooter m_t;
    std::string m_reportPath;
    QLineEdit* txtUTRegDir;
    QLineEdit* txtCacheRegDir;
    QListWidget* lstCacheDir;
    QListWidget* lstCacheINI;
    QPushButton* cmdViewLog;
    QPushButton* cmdSetUT;
    QPushButton* cmdReset;
    QPushButton* cmdSave;
    QPushButton* cmdMail;
    QLabel* lblMailTo;
    QPushButton* cmdExit;
};

} // namespace tv
