#pragma once

#include "work_runner.h"

#include <QWidget>

#include <optional>
#include <string>

class QCheckBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;

namespace tv {

// The update button's caption when no check is under way.
inline const char* const kCheckForUpdatesCaption = "Check for &Updates Now";

class Prompter;
class Session;
struct Settings;
struct AfterGameState;

// "Options": backups, alerts, file selection, file processing, the purge and
// temporary-file commands, updates. The tab shows and keeps the settings it
// holds and answers its own controls; what involves the rest of the window
// (a new scan, the purge, the update check) it asks for by signal.
class OptionsTab : public QWidget {
    Q_OBJECT
public:
    OptionsTab(Session& session, Prompter& prompter, QWidget* parent = nullptr);

    void load(const Settings& s);
    void store(Settings& s) const;
    // Writes the controls into the session's settings (each change does).
    void storeSettings();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

public:
private:
    // The tab's frames, built one by one, and their signals.
    QWidget* buildBackups();
    QWidget* buildErrorMessages();
    QWidget* buildSelection();
    QWidget* buildProcessing();
    QWidget* buildMisc();
    QWidget* buildUpdates();
    void buildAfterGame(QWidget* misc, QGridLayout* grid, int row);
    void connectControls();

public:
    void showPurgeDays(const std::string& days);
    std::string purgeDays() const;
    // The folder boxes as the settings have them now (a run drops a trailing separator).
    void showDestinationFolders(const Settings& s);
    // The reminder to press "&Commit Changes to List", blinking or gone.
    void ShowCommitReminder(bool blink);
    void clearReminder();
    QPushButton* updateButton() const { return cmdUpdate; }
    bool autoUpdate() const;

signals:
    void commitRequested(); // the file selection changed: scan again
    void purgeRequested();
    void tidyRequested();
    void updateRequested();

private:
    void selectAllClicked();
    void selectOnlyClicked();
    void updateTypeBoxesEnabled();
    void moveOptionClicked(int which);
    void updateDestinationControls();
    void browse(QLineEdit* box);
    void setPurgeClicked();

    Session& m_session;
    WorkRunner m_asking;    // the system asked about the watch
    bool m_loading = false; // controls set from the settings: nothing to store
    Prompter& m_prompter;
    QTimer* Timer1;

    // Backups, Error Messages
    QCheckBox* chkBackupCache;
    QCheckBox* chkMissingExt;
    // File Selection
    QRadioButton* optSelectAll;
    QRadioButton* optSelectOnly;
    QCheckBox* chkUAX;
    QCheckBox* chkUMX;
    QCheckBox* chkUT2;
    QCheckBox* chkUTX;
    QCheckBox* chkU;
    QCheckBox* chkUKX;
    QCheckBox* chkUSX;
    QPushButton* cmdCommitFileTypes;
    // File Processing
    QRadioButton* optMoveNorm;
    QRadioButton* optMoveDir;
    QLineEdit* txtMoveDir;
    QPushButton* cmdMoveDir;
    QRadioButton* optMoveDir2;
    QLineEdit* txtMoveDir2;
    QPushButton* cmdMoveDir2;
    // Misc
    QLineEdit* txtPurgeCacheDays;
    QPushButton* cmdSetPurge;
    QPushButton* cmdPurgeNow;
    QPushButton* cmdTidy; // "Tidy Cache...": duplicates, stale lines, orphans
    QLabel* Label4;
    QPushButton* cmdDelCacheTmp;
    QLabel* Label7;
    QCheckBox* chkCleanTMP;
    // Updates
    QCheckBox* chkAutoUpdate;
    QPushButton* cmdUpdate;

    // After each game
    QCheckBox* chkAfterGame;
    QLabel* lblAfterGame;
    QTimer* afterGameTimer; // whether the watch runs, while the tab shows
    bool m_afterGameOn = false;
    bool m_afterGameSystemd = false;
    bool m_afterGameAsking = false;
    void askAfterGame(std::optional<bool> turn = std::nullopt);
    void afterGameAnswered(const AfterGameState& state, const std::string& error,
                           std::optional<bool> turned);
    // Shows whether the watch starts with the desktop (as last asked) and
    // whether it runs.
    void showAfterGame();

    QLabel* lblRemind;

    // The seven file-type boxes in the order the scan applies them.
    QList<QCheckBox*> typeBoxes() const;
};

} // namespace tv
