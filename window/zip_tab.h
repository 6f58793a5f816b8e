#pragma once

#include "session/session.h"

#include "formats/map_facts.h"
#include "work_runner.h"

#include <QWidget>

#include <deque>
#include <functional>
#include <optional>

#include <string>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTextEdit;

namespace tv {

class Prompter;
class BackgroundWork;
class ElidingLabel;
class Session;
class RegistryStore;
class Shell;
struct Settings;

// The enlarged preview picture: one window, made on first use, not modal.
class PicDisplay : public QWidget {
    Q_OBJECT
public:
    explicit PicDisplay(QWidget* parent = nullptr);
    QLabel* Picture1;
};

// "ZIP": map archives chosen or dropped, their preview, and their
// installation. The tab owns this behaviour; the main window only places it
// and answers its three requests below.
class ZipTab : public QWidget {
    Q_OBJECT
public:
    ZipTab(Session& session, BackgroundWork& work, Prompter& prompter, Shell& shell,
           RegistryStore& registry, QWidget* parent = nullptr);
    // "U&nZIP without preview", kept with the settings.
    void load(const Settings& s);
    void store(Settings& s) const;

    // Loads the archives as chosen or dropped together.
    void loadArchives(const std::vector<std::string>& paths);
    PicDisplay* picDisplay() const { return m_picDisplay; }

signals:
    // The settings shown in the window's other tabs are wanted now.
    // The work begins: the "Status" page to the front.
    void statusPageWanted();
    // The destination folder boxes may have changed (a trailing separator dropped).
    void destinationsChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void openZipClicked();
    std::string archiveFolder();
    void rememberArchiveFolder(const std::string& folder);
    void processClicked();
    void showDescriptionClicked();
    void enlargePictureClicked();
    // "Included Preview": the archive's picture and the map's own.
    QWidget* makePreviewFrame();
    void showMapScreenshot(QLabel* where, const std::string& key, std::function<MapRead()> read);
    void load(const std::string& path, bool several);
    void showPreview();
    void noPreviewToggled(bool on);
    // The next of the archives chosen together, if any.
    void loadNext(bool afterWork = true);
    std::deque<std::string> m_queue;
    bool m_several = false;
    void clearPreview();
    // What the archive's maps need, under the description.
    void showNeeds(const std::vector<std::string>& lines);

    Session& m_session;
    BackgroundWork& m_work;
    WorkRunner m_pictures;  // the maps' screenshots, read beside the window
    std::string m_shownMap; // the map (or installer) whose screenshot is wanted
    Prompter& m_prompter;
    Shell& m_shell;
    RegistryStore& m_registry;
    PicDisplay* m_picDisplay = nullptr;
    // A UMOD installer loaded for "Process Loaded ZIP" (none: a ZIP archive or nothing).
    std::optional<UmodPackage> m_umod;
    void loadUmod(const std::string& path, bool several);
    // The installer read: previewed, or installed at once.
    void umodRead(const std::string& path, bool several, std::optional<UmodPackage> package);
    QGroupBox* frmDrop;
    QCheckBox* chkUnZIPNoPreview;
    QLineEdit* txtTextFile;
    QPushButton* cmdOpenZIP;
    QPushButton* cmdProcessLoadedZIP;
    QPushButton* cmdShowZIPDesc;
    QPushButton* cmdEnlargePic;
    QTextEdit* txtFileDesc;
    QLabel* lblNeeds;
    QLabel* picFile;
    QLabel* picMapShot;
    ElidingLabel* lblMapName;
    QLabel* lblMapNameCaption; // "Map Name:", "Product:" for an installer
};

} // namespace tv
