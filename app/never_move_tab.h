#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace tv {

class Session;

// "Never Move": the entries of the never-move list and their editing, held
// by the session until "Save Changes".
class NeverMoveTab : public QWidget {
    Q_OBJECT
public:
    explicit NeverMoveTab(Session& session, QWidget* parent = nullptr);
    // The session's lines, and the "not saved yet" note when they changed.
    void showLines();

signals:
    // The saved list changed the File List's marks; the work may take a moment.
    void saving(bool busy);

private:
    void addClicked();
    void removeClicked();
    void saveClicked();

    Session& m_session;
    QListWidget* lstNM;
    QPushButton* cmdNMRemove;
    QPushButton* cmdNMSave;
    QLabel* Label8;
    QLineEdit* txtNMAdd;
    QPushButton* cmdNMAdd;
    QLabel* label9;
};

} // namespace tv
