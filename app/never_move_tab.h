#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace tv {

// "Never Move": the entries of the never-move list and their editing.
class NeverMoveTab : public QWidget {
    Q_OBJECT
public:
    explicit NeverMoveTab(QWidget* parent = nullptr);
    QListWidget* lstNM;
    QPushButton* cmdNMRemove;
    QPushButton* cmdNMSave;
    QLabel* Label8;
    QLineEdit* txtNMAdd;
    QPushButton* cmdNMAdd;
    QLabel* label9;
};

} // namespace tv
