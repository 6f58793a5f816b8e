#pragma once
// A map's picture and facts beside the list it is chosen in: the
// screenshot, the title, author, players, game type and music, read off the
// window's thread and kept per package (the cache file's GUID name and its
// size), so choosing it again, or after a rescan, reads nothing.

#include "engine/cache_index.h"
#include "work_runner.h"

#include <QImage>
#include <QWidget>

#include <memory>
#include <string>
#include <unordered_map>

class QLabel;

namespace tv {

class ElidingLabel;
class InstalledPackages;

class MapPreview : public QWidget {
    Q_OBJECT
public:
    // `name`: the object's name (its labels are named the same in every preview).
    explicit MapPreview(const char* name, QWidget* parent = nullptr);
    ~MapPreview() override;

    // The map in `file` (named `name` in the game), known by `key`, read
    // against the game's `folders`.
    void showMap(const std::string& file, const std::string& name, const std::string& key,
                 const CacheFolders& folders);
    // Nothing chosen, or not a map: the hint says what to choose.
    void showNothing();
    // The game's folders changed: the installed packages are looked at again.
    void foldersChanged();

    // What is shown of one map.
    struct Shown {
        QString title, author, details, music, note;
        QImage picture; // scaled to the pane, or null
    };
    static constexpr int kPictureWidth = 192, kPictureHeight = 96;

signals:
    // A map's facts arrived and are shown (tests wait for it).
    void shown();

private:
    void present(const Shown& s);

    WorkRunner m_runner;
    std::shared_ptr<const InstalledPackages> m_installed;
    std::unordered_map<std::string, Shown> m_known;
    std::string m_wanted; // the key of the map asked for last
    QLabel* lblPicture;
    ElidingLabel* lblTitle;
    QLabel* lblAuthor;
    QLabel* lblDetails;
    QLabel* lblMusic;
    ElidingLabel* lblNote;
};

} // namespace tv
