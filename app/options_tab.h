#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tv {

// "Options": backups, alerts, file selection, file processing, the purge and
// temporary-file commands, updates.
class OptionsTab : public QWidget {
    Q_OBJECT
public:
    explicit OptionsTab(QWidget* parent = nullptr);

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
    QLabel* Label4;
    QPushButton* cmdDelCacheTmp;
    QLabel* Label7;
    QCheckBox* chkCleanTMP;
    // Updates
    QCheckBox* chkAutoUpdate;
    QPushButton* cmdUpdate;

    QLabel* lblRemind;

    // The seven file-type boxes in the order the scan applies them.
    QList<QCheckBox*> typeBoxes() const;
};

} // namespace tv
