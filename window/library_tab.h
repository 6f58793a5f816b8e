#pragma once

#include "engine/content_library.h"
#include "work_runner.h"

#include <QWidget>

#include <memory>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;

namespace tv {

class BackgroundWork;
class MapPreview;
class Prompter;
class Session;

// "Library": every package the game reads and every download, with where
// each came from and what uses it, filtered by type and origin; the chosen
// map's picture; removing packages (with what only they needed).
class LibraryTab : public QWidget {
    Q_OBJECT
public:
    LibraryTab(Session& session, BackgroundWork& work, Prompter& prompter,
               QWidget* parent = nullptr);
    // Lists the library afresh: the list at once, its facts filling in after.
    void refresh();

signals:
    // A removal changed the game's folders and the cache.
    void filesChanged();
    // The facts of the list arrived (tests wait for it).
    void factsRead();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showEntries();
    void applyFilter();
    void previewChosen();
    void removeClicked(bool withUnused);

    Session& m_session;
    BackgroundWork& m_work;
    Prompter& m_prompter;
    std::vector<LibraryEntry> m_entries;
    bool m_factsRead = false, m_listed = false;
    unsigned m_generation = 0; // of the listing under way
    QComboBox* cboLibType;
    QComboBox* cboLibOrigin;
    QLabel* lblLibCount;
    QTreeWidget* lvLibrary;
    MapPreview* m_preview;
    QCheckBox* chkLibDelete;
    QPushButton* cmdLibRemove;
    QPushButton* cmdLibRemoveUnused;
    QPushButton* cmdLibRefresh;
    WorkRunner m_runner; // last: its tasks end before the rest goes
};

} // namespace tv
