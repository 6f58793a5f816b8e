#include "map_preview.h"

#include "widgets.h"

#include "engine/map_info.h"
#include "ui/qt/qt_text.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace tv {

namespace {

// The largest mip read: enough for the pane, and the small one a map keeps
// is taken instead when it fits.
constexpr int kLargestMip = 512;

MapPreview::Shown shownOf(const MapInfo& m) {
    MapPreview::Shown s;
    const MapFacts& f = m.facts;
    switch (f.kind) {
    case MapFacts::Kind::Map:
        break;
    case MapFacts::Kind::NotAMap:
        s.note = QStringLiteral("This package holds no map.");
        return s;
    case MapFacts::Kind::NotAPackage:
        s.note = QStringLiteral("This file is no package.");
        return s;
    case MapFacts::Kind::Damaged:
        s.note = QStringLiteral("This map is damaged: ") + toDisplay(f.why);
        return s;
    case MapFacts::Kind::Unreadable:
        s.note = QStringLiteral("This map cannot be read: ") + toDisplay(f.why);
        return s;
    }
    s.title = toDisplay(f.title.empty() ? std::string("(no title)") : f.title);
    if (!f.author.empty()) s.author = QStringLiteral("by ") + toDisplay(f.author);
    QStringList details;
    if (const std::string players = playersText(f); !players.empty()) details << toDisplay(players);
    if (!f.defaultGameType.empty()) details << toDisplay(f.defaultGameType);
    s.details = details.join(QStringLiteral(" \u00b7 "));
    if (!m.musicFile.empty())
        s.music = QStringLiteral("Music: ") + toDisplay(m.musicFile) +
                  (m.musicInstalled.empty() ? QStringLiteral(" (not installed)") : QString());
    if (m.picture.kind == MapPicture::Kind::Picture) {
        const Picture& p = m.picture.picture;
        const QImage image(p.rgba.data(), p.width, p.height, p.width * 4, QImage::Format_RGBA8888);
        // Never stretched: the picture keeps its shape inside the pane's box.
        s.picture = image.scaled(MapPreview::kPictureWidth, MapPreview::kPictureHeight,
                                 Qt::KeepAspectRatio, Qt::SmoothTransformation);
    } else {
        s.note = toDisplay(m.picture.why);
    }
    return s;
}

} // namespace

MapPreview::MapPreview(const char* name, QWidget* parent) : QWidget(parent) {
    setObjectName(name);
    lblPicture = new QLabel(this);
    lblPicture->setObjectName("lblMapPicture");
    lblPicture->setFixedSize(kPictureWidth, kPictureHeight);
    lblPicture->setAlignment(Qt::AlignCenter);
    lblPicture->setFrameShape(QFrame::StyledPanel);
    lblTitle = makeElidingLabel(this, "lblMapTitle");
    lblTitle->setStyleSheet(QStringLiteral("font-weight: bold"));
    const auto line = [this](const char* name) {
        auto* l = new QLabel(this);
        l->setObjectName(name);
        l->setTextFormat(Qt::PlainText);
        return l;
    };
    lblAuthor = line("lblMapAuthor");
    lblDetails = line("lblMapDetails");
    lblMusic = line("lblMapMusic");
    // One line that gives way: a long reason loses its end, never the list its room.
    lblNote = makeElidingLabel(this, "lblMapNote");
    auto* facts = new QVBoxLayout;
    facts->addWidget(lblTitle);
    facts->addWidget(lblAuthor);
    facts->addWidget(lblDetails);
    facts->addWidget(lblMusic);
    facts->addWidget(lblNote);
    facts->addStretch(1);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(lblPicture);
    layout->addLayout(facts, 1);
    showNothing();
}

MapPreview::~MapPreview() = default;

void MapPreview::showNothing() {
    m_wanted.clear();
    present({});
    lblPicture->setText(QStringLiteral("No map chosen"));
    lblNote->setText(QStringLiteral("Choose a map to see it here."));
}

void MapPreview::foldersChanged() {
    m_installed.reset();
}

void MapPreview::showMap(const std::string& file, const std::string& name, const std::string& key,
                         const CacheFolders& folders) {
    m_wanted = key;
    if (auto known = m_known.find(key); known != m_known.end()) {
        present(known->second);
        emit shown();
        return;
    }
    present({});
    lblPicture->setText(QStringLiteral("Reading..."));
    if (!m_installed) m_installed = std::make_shared<const InstalledPackages>(folders);
    m_runner
        .start([file, name, folders, installed = m_installed] {
            MapReadOptions options;
            options.picture = true;
            options.maxWidth = options.maxHeight = kLargestMip;
            return shownOf(readMapInfo(folders, *installed, file, options, name));
        })
        .then(
            this,
            [this, key](Shown s) {
                m_known.emplace(key, s);
                if (key != m_wanted) return; // another map was chosen meanwhile
                present(s);
                emit shown();
            },
            [this, key](const std::string& why) {
                if (key != m_wanted) return;
                Shown s;
                s.note = QStringLiteral("This map cannot be read: ") + toDisplay(why);
                present(s);
                emit shown();
            });
}

void MapPreview::present(const Shown& s) {
    lblPicture->setPixmap(QPixmap::fromImage(s.picture));
    if (s.picture.isNull())
        lblPicture->setText(s.title.isEmpty() ? QString() : QStringLiteral("No picture"));
    lblTitle->setText(s.title);
    lblAuthor->setText(s.author);
    lblDetails->setText(s.details);
    lblMusic->setText(s.music);
    lblNote->setText(s.note);
}

} // namespace tv
