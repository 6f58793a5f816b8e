#pragma once

#include <QWidget>

class QFileSystemWatcher;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;

namespace tv {

class Prompter;

class Session;

// "Never Move": the entries of the never-move list and their editing, held
// by the session until "Save Changes".
class NeverMoveTab : public QWidget {
    Q_OBJECT
public:
    NeverMoveTab(Session& session, Prompter& prompter, QWidget* parent = nullptr);
    // The session's lines, and the "not saved yet" note when they changed.
    void showLines();
    // The list's file was changed by another program: read again when
    // nothing here is unsaved, else the user says which to keep. false when
    // the edits made here were dropped or the file was not changed.
    void checkFileOnDisk();
    // Exit: unsaved edits are saved, dropped or the exit is called off
    // (false). true when the program may end.
    bool allowClose();

signals:
    // The saved list changed the File List's marks; the work may take a moment.
    void saving(bool busy);

private:
    void addClicked();
    void removeClicked();
    void saveClicked();
    // Watches the list's file, also after it was replaced by a rename.
    void watchFile();
    // Asks which to keep; true when the user keeps the edits made here.
    bool keepEditsOverFile();

    Session& m_session;
    Prompter& m_prompter;
    QListWidget* lstNM;
    QPushButton* cmdNMRemove;
    QPushButton* cmdNMSave;
    QLabel* Label8;
    QLineEdit* txtNMAdd;
    QPushButton* cmdNMAdd;
    QLabel* label9;
    QFileSystemWatcher* m_watcher;
    QTimer* m_recheck;     // one look at the file once its changes have settled
    bool m_asking = false; // the user is being asked which list to keep
};

} // namespace tv
