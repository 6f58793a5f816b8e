#include "zip_tab.h"

#include "background_work.h"

#include "widgets.h"

#include "engine/package_state.h"
#include "formats/map_facts.h"
#include "formats/package_header.h"
#include "formats/registry_store.h"
#include "platform/text_io.h"
#include "platform/text_util.h"
#include "session/session.h"
#include "ui/file_dialog.h"
#include "ui/prompter.h"
#include "ui/qt/qt_text.h"

#include <QCheckBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPixmap>
#include <QPushButton>
#include <QStandardPaths>
#include <QTextEdit>
#include <QUrl>
#include <QVBoxLayout>

namespace tv {

namespace {

// The local files of a drag, or nothing when it holds anything else.
std::vector<std::string> localFiles(const QMimeData* data) {
    std::vector<std::string> files;
    if (!data || !data->hasUrls()) return files;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile()) return {};
        files.push_back(fromPathText(url.toLocalFile()));
    }
    return files;
}

// Every kind of archive the tab installs, offered together first; each kind
// alone after that.
const char* const kArchiveFilter =
    "ZIP and UMOD Files (*.ZIP;*.UMOD;*.UT2MOD;*.UT4MOD)|"
    "*.ZIP;*.UMOD;*.UT2MOD;*.UT4MOD|"
    "ZIP Files (*.ZIP)|*.ZIP|"
    "UMOD Installers (*.UMOD;*.UT2MOD;*.UT4MOD)|*.UMOD;*.UT2MOD;*.UT4MOD";

// The folder archives last came from, beside the window's other values.
// The largest screenshot read for the preview.
MapReadOptions previewOptions() {
    MapReadOptions options;
    options.picture = true;
    options.maxWidth = options.maxHeight = 1024;
    return options;
}

const char* const kTessvaneKey = "HKEY_LOCAL_MACHINE\\Software\\Zarnowick\\Tessvane";
const char* const kArchiveFolderValue = "ArchiveFolder";

bool endsWithZip(const std::string& path) {
    if (path.size() < 3) return false;
    std::string end = path.substr(path.size() - 3);
    for (char& c : end)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return end == "ZIP";
}

} // namespace

PicDisplay::PicDisplay(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("frmPicDisplay");
    Picture1 = makeLabel(this, "Picture1");
    Picture1->setAlignment(Qt::AlignCenter);
    (new QVBoxLayout(this))->addWidget(Picture1);
    closeOnEscape(this);
}

ZipTab::ZipTab(Session& session, BackgroundWork& work, Prompter& prompter, Shell& shell,
               RegistryStore& registry, QWidget* parent)
    : QWidget(parent), m_session(session), m_work(work), m_prompter(prompter), m_shell(shell),
      m_registry(registry) {
    frmDrop = makeFrame(this, "Drop files here");
    frmDrop->setObjectName("frmDrop");
    frmDrop->setMinimumHeight(80);
    frmDrop->setAcceptDrops(true);
    frmDrop->installEventFilter(this);
    auto* dropHint = new QLabel("Map archives (.zip)\nUMOD installers", frmDrop);
    dropHint->setAlignment(Qt::AlignCenter);
    dropHint->setWordWrap(true); // the frame keeps its width
    dropHint->setEnabled(false); // greyed: a hint, not a control
    (new QVBoxLayout(frmDrop))->addWidget(dropHint);

    auto* options = makeFrame(this, "Options");
    chkUnZIPNoPreview = makeCheck(options, "chkUnZIPNoPreview", "U&nZIP without preview");
    (new QVBoxLayout(options))->addWidget(chkUnZIPNoPreview);
    connect(chkUnZIPNoPreview, &QCheckBox::toggled, this, &ZipTab::noPreviewToggled);

    txtTextFile = makeText(this, "txtTextFile", "Hidden to store text file location");
    txtTextFile->setVisible(false);
    cmdOpenZIP = makeButton(this, "cmdOpenZIP", "&Open ZIP file(s)");
    cmdProcessLoadedZIP = makeButton(this, "cmdProcessLoadedZIP", "&Process Loaded ZIP");
    cmdShowZIPDesc = makeButton(this, "cmdShowZIPDesc", "Open &Description in Notepad");
    cmdEnlargePic = makeButton(this, "cmdEnlargePic", "&Enlarge Picture");
    // Until the first preview there is nothing to install, read or enlarge.
    for (QPushButton* b : {cmdProcessLoadedZIP, cmdShowZIPDesc, cmdEnlargePic})
        b->setEnabled(false);

    auto* description = makeFrame(this, "Description");
    txtFileDesc = new QTextEdit(description);
    txtFileDesc->setObjectName("txtFileDesc");
    txtFileDesc->setReadOnly(true);
    // What the map needs, apart from the description, which shows as written.
    lblNeeds = makeLabel(description, "lblNeeds");
    lblNeeds->setWordWrap(true);
    lblNeeds->setTextFormat(Qt::PlainText);
    lblNeeds->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* descriptionBox = new QVBoxLayout(description);
    descriptionBox->addWidget(txtFileDesc, 1);
    descriptionBox->addWidget(lblNeeds);

    QWidget* preview = makePreviewFrame();

    lblMapName = makeElidingLabel(this, "lblMapName"); // an installer's product can be long

    auto* grid = new QGridLayout(this);
    grid->addWidget(frmDrop, 0, 0);
    grid->addWidget(options, 1, 0);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(cmdOpenZIP);
    buttons->addWidget(cmdProcessLoadedZIP);
    buttons->addWidget(cmdShowZIPDesc);
    buttons->addWidget(cmdEnlargePic);
    buttons->addStretch(1);
    grid->addLayout(buttons, 2, 0);
    auto* nameRow = new QHBoxLayout;
    lblMapNameCaption = new QLabel("Map Name:", this);
    lblMapNameCaption->setObjectName("lblMapNameCaption");
    nameRow->addWidget(lblMapNameCaption);
    nameRow->addWidget(lblMapName, 1);
    grid->addLayout(nameRow, 0, 1);
    grid->addWidget(description, 1, 1, 2, 1);
    grid->addWidget(preview, 0, 2, 3, 1);
    grid->addWidget(txtTextFile, 3, 0);
    // The buttons keep their full captions; the description takes the room.
    grid->setColumnStretch(1, 1);
    preview->setMinimumWidth(220);

    connect(cmdOpenZIP, &QPushButton::clicked, this, &ZipTab::openZipClicked);
    connect(cmdProcessLoadedZIP, &QPushButton::clicked, this, &ZipTab::processClicked);
    connect(cmdShowZIPDesc, &QPushButton::clicked, this, &ZipTab::showDescriptionClicked);
    connect(cmdEnlargePic, &QPushButton::clicked, this, &ZipTab::enlargePictureClicked);
}

QWidget* ZipTab::makePreviewFrame() {
    auto* preview = makeFrame(this, "Included Preview");
    picFile = makeLabel(preview, "picFile");
    picFile->setMinimumSize(160, 120);
    picFile->setAlignment(Qt::AlignCenter);
    // The map's own screenshot below the archive's picture, when it has both.
    picMapShot = makeLabel(preview, "picMapShot");
    picMapShot->setAlignment(Qt::AlignCenter);
    picMapShot->setToolTip("The map's own screenshot");
    picMapShot->hide();
    auto* pictures = new QVBoxLayout(preview);
    pictures->addWidget(picFile, 2);
    pictures->addWidget(picMapShot, 1);
    return preview;
}

bool ZipTab::eventFilter(QObject* watched, QEvent* event) {
    if (watched != frmDrop) return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        // A copy, and only of a list of local files.
        if (!localFiles(drag->mimeData()).empty()) {
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
        } else {
            drag->ignore();
        }
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        std::vector<std::string> files = localFiles(drop->mimeData());
        if (files.empty()) {
            drop->ignore();
            return true;
        }
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        loadArchives(files);
        return true;
    }
    default:
        return QWidget::eventFilter(watched, event);
    }
}

void ZipTab::load(const Settings& s) {
    chkUnZIPNoPreview->setChecked(s.unzipNoPreview);
}

void ZipTab::store(Settings& s) const {
    s.unzipNoPreview = chkUnZIPNoPreview->isChecked();
}

void ZipTab::loadArchives(const std::vector<std::string>& paths) {
    if (!m_queue.empty()) return; // the ones chosen before are still going in
    if (!paths.empty()) rememberArchiveFolder(folderOf(paths.front()));
    m_queue.assign(paths.begin(), paths.end());
    m_several = paths.size() > 1;
    loadNext(false);
}

// One archive after another, each once the one before has gone in (Stop
// ends the whole series).
void ZipTab::loadNext(bool afterWork) {
    if (afterWork && m_work.stopRequested()) m_queue.clear();
    while (!m_queue.empty()) {
        const std::string path = m_queue.front();
        m_queue.pop_front();
        if (endsWithZip(path)) return load(path, m_several);
        if (isUmodName(path)) return loadUmod(path, m_several);
        m_prompter.message("ZIP files only!", "Bad Filetype", MessageIcon::Critical);
    }
}

void ZipTab::openZipClicked() {
    CFileOpenSaveDialog dialog(m_prompter);
    dialog.CenterDialog(true);
    dialog.DialogTitle("Select one or more files");
    dialog.Filter(kArchiveFilter);
    dialog.InitialDir(archiveFolder());
    dialog.Flags(528900);
    dialog.HWndOwner(static_cast<int64_t>(window()->winId()));
    dialog.MaxFileSize(255);
    if (!dialog.Show(0)) {
        m_prompter.message("No files selected to process.", "Tessvane", MessageIcon::Information);
        return;
    }
    std::vector<std::string> chosen;
    if (dialog.FileCount() == 1)
        chosen.push_back(dialog.GetNextFileName());
    else
        for (int i = 1; i <= dialog.FileCount(); ++i)
            chosen.push_back(dialog.GetNextFileName(i));
    loadArchives(chosen);
}

// Where the archive dialog opens: the folder archives last came from, else
// the player's downloads, else home.
std::string ZipTab::archiveFolder() {
    if (auto stored = m_registry.value(kTessvaneKey, kArchiveFolderValue);
        stored && stored->type == REG_SZ) {
        std::string folder = stored->data;
        while (!folder.empty() && folder.back() == '\0')
            folder.pop_back();
        if (!folder.empty() && folderExists(folder)) return folder;
    }
    const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (!downloads.isEmpty() && QFileInfo(downloads).isDir()) return fromPathText(downloads);
    return fromPathText(QDir::homePath());
}

void ZipTab::rememberArchiveFolder(const std::string& folder) {
    if (folder.empty()) return;
    const RegValue value = RegValue::text(folder);
    if (m_registry.value(kTessvaneKey, kArchiveFolderValue) == value) return;
    m_registry.setValue(kTessvaneKey, kArchiveFolderValue, value);
}

void ZipTab::showNeeds(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines)
        text += (text.empty() ? "" : "\n") + line;
    lblNeeds->setText(toDisplay(text));
    lblNeeds->setVisible(!text.empty());
}

void ZipTab::clearPreview() {
    m_umod.reset();
    showNeeds({});
    lblMapName->clear();
    txtFileDesc->clear();
    txtTextFile->clear();
    picFile->clear();
    picMapShot->clear();
    picMapShot->hide();
    m_shownMap.clear();
}

void ZipTab::load(const std::string& path, bool several) {
    // Nothing of an earlier archive stays beside the new one, and nothing
    // can be processed until this one has loaded.
    clearPreview();
    for (QPushButton* b : {cmdProcessLoadedZIP, cmdShowZIPDesc, cmdEnlargePic})
        b->setEnabled(false);
    // A direct install reports on the Status tab as it goes.
    if (several || m_session.settings().unzipNoPreview) emit statusPageWanted();
    // Unpacking (and a direct install, which Stop ends between maps) happen
    // off the window's thread.
    auto loaded =
        std::make_shared<MapArchiveInstaller::Load>(MapArchiveInstaller::Load::Unreadable);
    const bool direct = several || m_session.settings().unzipNoPreview;
    m_work.start(
        [this, path, several, loaded] {
            const Outcome<ZipLoaded> load = m_session.loadZipArchive(path, several);
            if (m_session.told(load)) *loaded = load.result()->load;
        },
        direct,
        [this, loaded] {
            if (*loaded == MapArchiveInstaller::Load::Previewed)
                showPreview();
            else
                emit destinationsChanged(); // maps may have gone in
            loadNext();
        });
}

void ZipTab::noPreviewToggled(bool on) {
    m_session.changeSettings([on](Settings& s) { s.unzipNoPreview = on; });
}

void ZipTab::showPreview() {
    const ArchivePreview& p = m_session.archives().preview();
    lblMapNameCaption->setText("Map Name:");
    lblMapName->setText(toDisplay(p.mapName));
    txtFileDesc->setPlainText(toDisplay(p.description));
    showNeeds(m_session.archiveNeeds(p.maps, p.members));
    txtTextFile->setText(toDisplay(p.textFile));
    QPixmap picture;
    const std::string map = p.mapPath;
    const bool own = !p.picture.empty() && picture.load(QString::fromStdString(p.picture));
    picMapShot->clear();
    picMapShot->setVisible(own);
    if (own) {
        picFile->setPixmap(
            picture.scaled(picFile->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
        cmdEnlargePic->setEnabled(true);
    } else {
        cmdEnlargePic->setEnabled(false);
        picFile->clear();
    }
    showMapScreenshot(own ? picMapShot : picFile, map, [map] {
        // A screenshot in another package of the same archive is read there.
        MapReadOptions options = previewOptions();
        options.locate = [folder = folderOf(map)](const std::string& package) {
            const FolderIndex unpacked(folder);
            for (const auto& name : unpacked.names())
                if (equalsNoCase(packageStem(name), package) && isPackageType(fileTypeOf(name)))
                    return joinPath(folder, name);
            return std::string();
        };
        return readMapFile(map, options);
    });
    cmdShowZIPDesc->setEnabled(true);
    cmdProcessLoadedZIP->setEnabled(true);
}

// The map's screenshot, read off the window's thread by `read`, into
// `where` (the archive's picture's place when it has none), while `key` is
// still what the tab shows.
void ZipTab::showMapScreenshot(QLabel* where, const std::string& key,
                               std::function<MapRead()> read) {
    if (key.empty()) return;
    m_shownMap = key;
    const QSize box =
        where == picFile ? picFile->size() : QSize(picFile->width(), picFile->height() / 2);
    m_pictures
        .start([read = std::move(read)] {
            const MapRead r = read();
            if (r.picture.kind != MapPicture::Kind::Picture)
                return std::make_pair(QImage(), r.picture.why.empty() ? std::string(kNoPictureText)
                                                                      : r.picture.why);
            const Picture& p = r.picture.picture;
            return std::make_pair(
                QImage(p.rgba.data(), p.width, p.height, p.width * 4, QImage::Format_RGBA8888)
                    .copy(),
                std::string());
        })
        .then(this, [this, where, key, box](std::pair<QImage, std::string> shot) {
            if (m_shownMap != key) return; // another archive came
            if (shot.first.isNull()) {
                where->setText(toDisplay(shot.second));
                return;
            }
            where->setPixmap(QPixmap::fromImage(
                shot.first.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
        });
}

void ZipTab::processClicked() {
    if (m_umod) {
        // Each file goes by its own folder: the move options do not apply.
        emit statusPageWanted();
        m_work.start(
            [this, package = *m_umod] { m_session.told(m_session.installUmodArchive(package)); },
            true, [this] { emit destinationsChanged(); });
        return;
    }
    if (!m_session.checkArchiveDestination()) return;
    emit statusPageWanted();
    m_work.start([this] { m_session.told(m_session.processLoadedZip()); }, false,
                 [this] { emit destinationsChanged(); });
}

void ZipTab::loadUmod(const std::string& path, bool several) {
    clearPreview();
    for (QPushButton* b : {cmdProcessLoadedZIP, cmdShowZIPDesc, cmdEnlargePic})
        b->setEnabled(false);
    // Read off the window's thread: a large installer's directory and
    // manifest take a while.
    auto read = std::make_shared<std::optional<UmodPackage>>();
    m_work.start([this, path, read] { *read = m_session.loadUmodArchive(path); }, false,
                 [this, path, several, read] { umodRead(path, several, std::move(*read)); });
}

void ZipTab::umodRead(const std::string& path, bool several, std::optional<UmodPackage> package) {
    if (!package) return loadNext();
    if (several || m_session.settings().unzipNoPreview) {
        emit statusPageWanted();
        m_work.start(
            [this, package = *package] { m_session.told(m_session.installUmodArchive(package)); },
            true,
            [this] {
                emit destinationsChanged();
                loadNext();
            });
        return;
    }
    // The preview: the product, what it says of itself, the files, and what
    // the game's own installer would do beyond copying them.
    std::string text = package->description;
    if (!package->version.empty()) text = "Version " + package->version + "\n\n" + text;
    for (const auto& need : package->requirements)
        text += "\n\nRequires: " + need;
    text += "\n\nFiles:\n";
    for (const auto& f : package->directory.files)
        if (!isManifest(f.path))
            text += "  " + f.path + " (" + std::to_string(f.size) + " bytes)\n";
    if (!package->notCarriedOut.empty()) {
        text += "\nNot carried out (do these by hand if the add-on needs them):\n";
        for (const auto& line : package->notCarriedOut)
            text += "  " + line + "\n";
    }
    std::vector<std::string> paths;
    for (const auto& f : package->directory.files)
        paths.push_back(f.path);
    showNeeds(m_session.archiveNeeds(package->maps, paths));
    // An installer names its product, not a map.
    lblMapNameCaption->setText("Product:");
    lblMapName->setText(toDisplay(package->product.empty() ? fileNameOf(path) : package->product));
    txtFileDesc->setPlainText(toDisplay(text));
    txtTextFile->setText(toDisplay(path));
    picFile->clear();
    picMapShot->hide();
    showMapScreenshot(picFile, path,
                      [package = *package] { return readUmodMap(package, previewOptions()); });
    m_umod = std::move(package);
    cmdProcessLoadedZIP->setEnabled(true);
    loadNext();
}

void ZipTab::showDescriptionClicked() {
    const std::string& path = m_session.archives().preview().textPath;
    if (path.empty()) return; // the archive has no description
    m_shell.openInEditor(path);
}

void ZipTab::enlargePictureClicked() {
    const ArchivePreview& p = m_session.archives().preview();
    if (!m_picDisplay) m_picDisplay = new PicDisplay(this);
    m_picDisplay->Picture1->setPixmap(QPixmap(QString::fromStdString(p.picture)));
    m_picDisplay->setWindowTitle("Picture preview of " + toDisplay(p.mapName));
    m_picDisplay->adjustSize(); // the picture's own size
    showCentred(m_picDisplay);
}

} // namespace tv
