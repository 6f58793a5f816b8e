#pragma once

#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTextEdit;

namespace tv {

// "ZIP": map archives chosen or dropped, their preview, and their installation.
class ZipTab : public QWidget {
    Q_OBJECT
public:
    explicit ZipTab(QWidget* parent = nullptr);
    QGroupBox* frmDrop;
    QCheckBox* chkUnZIPNoPreview;
    QLineEdit* txtTextFile;
    QPushButton* cmdOpenZIP;
    QPushButton* cmdProcessLoadedZIP;
    QPushButton* cmdShowZIPDesc;
    QPushButton* cmdEnlargePic;
    QTextEdit* txtFileDesc;
    QLabel* picFile;
    QLabel* lblMapName;
};

} // namespace tv
