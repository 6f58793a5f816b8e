#pragma once

#include <QWidget>

class QLabel;
class QListWidget;

namespace tv {

// "Status": the lines of runs, backups, purges and archive processings.
class StatusTab : public QWidget {
    Q_OBJECT
public:
    explicit StatusTab(QWidget* parent = nullptr);
    QListWidget* List1;
    QLabel* Label1;
};

} // namespace tv
