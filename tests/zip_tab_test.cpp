// The "ZIP" tab driven as a player would: the file dialog, drops, the
// preview, its buttons and the picture window.
#include "main_window_fixture.h"
#include "map_writer.h"
#include "umod_support.h"

#include "window/zip_tab.h"

#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGroupBox>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QTabWidget>
#include <QTextEdit>
#include <QTreeWidget>
#include <QUrl>

#include <filesystem>

using namespace tv;
using tvtest::MainWindowTest;
using tvtest::makeZip;

namespace {

class ZipTabTest : public MainWindowTest {
protected:
    std::string jpeg() {
        QImage image(64, 48, QImage::Format_RGB32);
        image.fill(Qt::darkGreen);
        std::string path = fx.dir / "shot.jpg";
        EXPECT_TRUE(image.save(QString::fromStdString(path), "JPG"));
        return tvtest::readFile(path);
    }
    std::string archive(const std::string& name, const std::string& description, bool picture) {
        std::vector<std::pair<std::string, std::string>> members = {{name + ".ut2", "map"},
                                                                    {"Tex.utx", "tex"}};
        if (!description.empty()) members.push_back({"readme.txt", description});
        if (picture) members.push_back({"shot.jpg", jpeg()});
        std::string path = fx.dir / (name + ".zip");
        makeZip(path, members);
        return path;
    }
    // A drag of these local files (or of plain text) over the drop frame.
    bool dragAccepted(const QList<QUrl>& urls) {
        QMimeData data;
        if (urls.isEmpty())
            data.setText("not files");
        else
            data.setUrls(urls);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(child<QGroupBox>("frmDrop"), &enter);
        return enter.isAccepted() && enter.dropAction() == Qt::CopyAction;
    }
    // A drag that enters the frame and is dropped there.
    void drop(const QList<QUrl>& urls) {
        ASSERT_TRUE(dragAccepted(urls));
        QMimeData data;
        data.setUrls(urls);
        QDropEvent event(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(child<QGroupBox>("frmDrop"), &event);
        settle();
    }
    static QUrl file(const std::string& path) {
        return QUrl::fromLocalFile(QString::fromStdString(path));
    }
};

} // namespace

TEST_F(ZipTabTest, OneChosenArchiveIsPreviewedAndInstalledByProcessLoadedZip) {
    ASSERT_TRUE(start());
    EXPECT_FALSE(child<QPushButton>("cmdProcessLoadedZIP")->isEnabled());
    EXPECT_FALSE(child<QPushButton>("cmdShowZIPDesc")->isEnabled());
    EXPECT_FALSE(child<QPushButton>("cmdEnlargePic")->isEnabled());
    std::string path = archive("DM-Test", "Title: Test,By me", true);
    prompter.files.push_back({path});
    click("cmdOpenZIP");
    const FileRequest& request = prompter.requests.at(0);
    EXPECT_EQ(request.title, "Select one or more files");
    EXPECT_TRUE(request.several);
    EXPECT_TRUE(request.mustExist);
    EXPECT_EQ(child<QLabel>("lblMapName")->text(), "DM-Test.ut2");
    EXPECT_EQ(child<QTextEdit>("txtFileDesc")->toPlainText(), "Title: Test,By me");
    EXPECT_EQ(child<QLineEdit>("txtTextFile")->text(), "readme.txt");
    EXPECT_FALSE(child<QLabel>("picFile")->pixmap().isNull());
    EXPECT_FALSE(tvtest::exists(fx.game + "/Maps/DM-Test.ut2"));

    click("cmdShowZIPDesc");
    ASSERT_EQ(shell.opened.size(), 1u);
    EXPECT_EQ(shell.opened[0], "editor:" + window->session().archives().preview().textPath);

    click("cmdEnlargePic");
    PicDisplay* pictures = window->findChild<PicDisplay*>("frmPicDisplay");
    ASSERT_NE(pictures, nullptr);
    EXPECT_TRUE(pictures->isVisible());
    EXPECT_FALSE(pictures->isModal());
    EXPECT_EQ(pictures->windowTitle(), "Picture preview of DM-Test.ut2");
    EXPECT_FALSE(pictures->Picture1->pixmap().isNull());

    child<QTabWidget>("Tab1")->setCurrentIndex(6);
    click("cmdProcessLoadedZIP");
    EXPECT_EQ(child<QTabWidget>("Tab1")->currentIndex(), 0);
    EXPECT_TRUE(tvtest::exists(fx.game + "/Maps/DM-Test.ut2"));
    EXPECT_TRUE(tvtest::exists(fx.game + "/Textures/Tex.utx"));
    EXPECT_EQ(statusText(), "Done processing ZIP files");
    const QStringList lines = statusLines();
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines[lines.size() - 2], QString(102, '~'));

    // A second archive without a description or picture: nothing of the first stays.
    prompter.files.push_back({archive("DM-Bare", "", false)});
    click("cmdOpenZIP");
    EXPECT_EQ(child<QLabel>("lblMapName")->text(), "DM-Bare.ut2");
    EXPECT_TRUE(child<QTextEdit>("txtFileDesc")->toPlainText().isEmpty());
    EXPECT_TRUE(child<QLabel>("picFile")->pixmap().isNull());
    EXPECT_FALSE(child<QPushButton>("cmdEnlargePic")->isEnabled());
    click("cmdShowZIPDesc"); // no description: nothing opens
    EXPECT_EQ(shell.opened.size(), 1u);
    // The picture window is the same one when it is needed again.
    prompter.files.push_back({path});
    click("cmdOpenZIP");
    click("cmdEnlargePic");
    EXPECT_EQ(window->findChildren<PicDisplay*>().size(), 1);
}

TEST_F(ZipTabTest, SeveralChosenArchivesGoStraightIntoMaps) {
    ASSERT_TRUE(start());
    prompter.files.push_back({archive("DM-A", "a", true), archive("DM-B", "b", false)});
    click("cmdOpenZIP");
    EXPECT_TRUE(tvtest::exists(fx.game + "/Maps/DM-A.ut2"));
    EXPECT_TRUE(tvtest::exists(fx.game + "/Maps/DM-B.ut2"));
    EXPECT_FALSE(tvtest::exists(fx.game + "/Textures/Tex.utx"));
    EXPECT_TRUE(child<QLabel>("lblMapName")->text().isEmpty());
    EXPECT_FALSE(child<QPushButton>("cmdProcessLoadedZIP")->isEnabled());

    click("cmdOpenZIP"); // cancelled
    ASSERT_FALSE(prompter.shown.empty());
    EXPECT_EQ(prompter.shown.back().text, "No files selected to process.");
    EXPECT_EQ(prompter.shown.back().icon, MessageIcon::Information);
}

TEST_F(ZipTabTest, DropsTakeLocalFilesOnlyAndRefuseWhatIsNoZip) {
    ASSERT_TRUE(start());
    std::string zip = archive("DM-Drop", "d", false);
    std::string text = fx.dir / "notes.txt";
    tvtest::writeFile(text, "notes");
    EXPECT_TRUE(dragAccepted({file(zip)}));
    EXPECT_FALSE(dragAccepted({}));
    EXPECT_FALSE(dragAccepted({QUrl("https://example.org/map.zip")}));

    // One file: previewed. Upper-case ZIP is a ZIP too.
    std::string upper = fx.dir / "UPPER.ZIP";
    std::filesystem::copy_file(zip, upper);
    drop({file(upper)});
    EXPECT_EQ(child<QLabel>("lblMapName")->text(), "DM-Drop.ut2");
    EXPECT_FALSE(tvtest::exists(fx.game + "/Maps/DM-Drop.ut2"));

    // Two files: the ZIP goes straight in, the text file is refused.
    drop({file(zip), file(text)});
    EXPECT_TRUE(tvtest::exists(fx.game + "/Maps/DM-Drop.ut2"));
    ASSERT_FALSE(prompter.shown.empty());
    EXPECT_EQ(prompter.shown.back().text, "ZIP files only!");
    EXPECT_EQ(prompter.shown.back().title, "Bad Filetype");
    EXPECT_EQ(prompter.shown.back().icon, MessageIcon::Critical);
}

TEST_F(ZipTabTest, TheCheckBoxInstallsOneArchiveWithoutPreview) {
    ASSERT_TRUE(start());
    QTest::mouseClick(child<QCheckBox>("chkUnZIPNoPreview"), Qt::LeftButton);
    prompter.files.push_back({archive("DM-Quick", "q", false)});
    click("cmdOpenZIP");
    EXPECT_TRUE(tvtest::exists(fx.game + "/Maps/DM-Quick.ut2"));
    EXPECT_TRUE(child<QLabel>("lblMapName")->text().isEmpty());
}

TEST_F(ZipTabTest, AFailedLoadLeavesNothingToProcessAndTheLogAlone) {
    ASSERT_TRUE(start());
    tvtest::writeFile(fx.program + "/Tessvane.log", "the last run\r\n");
    std::string good = archive("DM-Good", "About it", true);
    std::string corrupt = fx.dir / "corrupt.zip";
    tvtest::writeFile(corrupt, "PK\x03\x04 not an archive at all");
    std::string textOnly = fx.dir / "text.zip";
    makeZip(textOnly, {{"readme.txt", "only words"}});
    for (const std::string& bad : {corrupt, textOnly}) {
        prompter.files.push_back({good});
        click("cmdOpenZIP");
        ASSERT_TRUE(child<QPushButton>("cmdProcessLoadedZIP")->isEnabled());
        prompter.files.push_back({bad});
        click("cmdOpenZIP");
        for (const char* button : {"cmdProcessLoadedZIP", "cmdShowZIPDesc", "cmdEnlargePic"})
            EXPECT_FALSE(child<QPushButton>(button)->isEnabled()) << button << " after " << bad;
        EXPECT_TRUE(child<QLabel>("lblMapName")->text().isEmpty());
    }
    EXPECT_EQ(prompter.messageTexts().back(), textOnly + " holds no files to install.");
    EXPECT_EQ(tvtest::readFile(fx.program + "/Tessvane.log"), "the last run\r\n");
    EXPECT_FALSE(tvtest::exists(fx.game + "/Maps/DM-Good.ut2"));
}

TEST_F(ZipTabTest, ADirectInstallShowsItsLinesOnTheStatusTab) {
    ASSERT_TRUE(start());
    auto* tabs = child<QTabWidget>("Tab1");
    tabs->setCurrentWidget(window->findChild<ZipTab*>());
    QTest::mouseClick(child<QCheckBox>("chkUnZIPNoPreview"), Qt::LeftButton);
    prompter.files.push_back({archive("DM-Direct", "", false)});
    click("cmdOpenZIP");
    EXPECT_TRUE(tvtest::exists(fx.game + "/Maps/DM-Direct.ut2"));
    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_FALSE(statusLines().isEmpty());
}

TEST_F(ZipTabTest, AUmodInstallerIsPreviewedThenInstalledByItsOwnFolders) {
    const std::string mod = fx.dir / "Bar.ut2mod";
    tvtest::writeFile(
        mod,
        tvtest::makeUmod({{"Maps\\DM-Bar.ut2", "bar map"},
                          {"Sounds\\BarSounds.uax", "bar sounds"},
                          {"System\\Manifest.ini",
                           "[Setup]\r\nProduct=Bar\r\n[Bar]\r\nFile=(Src=Maps\\DM-Bar.ut2)\r\n"
                           "Exec=System\\BarSetup.exe\r\n"},
                          {"System\\Manifest.int",
                           "[Setup]\r\nLocalProduct=The Bar Pack\r\nDescription=One map.\r\n"}}));
    ASSERT_TRUE(start());
    prompter.files.push_back({mod});
    click("cmdOpenZIP");
    EXPECT_EQ(child<QLabel>("lblMapName")->text(), "The Bar Pack");
    EXPECT_EQ(child<QLabel>("lblMapNameCaption")->text(), "Product:");
    const QString preview = child<QTextEdit>("txtFileDesc")->toPlainText();
    EXPECT_TRUE(preview.startsWith("One map.")) << preview.toStdString();
    EXPECT_TRUE(preview.contains("Maps\\DM-Bar.ut2 (7 bytes)"));
    EXPECT_FALSE(preview.contains("Manifest")) << preview.toStdString();
    EXPECT_TRUE(preview.contains("Not carried out (do these by hand if the add-on needs them):\n"
                                 "  [Bar] Exec=System\\BarSetup.exe"));
    EXPECT_FALSE(tvtest::exists(fx.game + "/Maps/DM-Bar.ut2")); // not before it is asked
    // The file dialog offered installers beside the archives, from the start.
    ASSERT_FALSE(prompter.requests.empty());
    const FileRequest& request = prompter.requests.back();
    ASSERT_EQ(request.defaultFilter, 1);
    ASSERT_FALSE(request.filters.empty());
    EXPECT_EQ(request.filters[0].patterns, "*.ZIP;*.UMOD;*.UT2MOD;*.UT4MOD");
    click("cmdProcessLoadedZIP");
    EXPECT_EQ(tvtest::readFile(fx.game + "/Maps/DM-Bar.ut2"), "bar map");
    EXPECT_EQ(tvtest::readFile(fx.game + "/Sounds/BarSounds.uax"), "bar sounds");
    EXPECT_GE(statusRow("**OLD** Maps\\DM-Bar.ut2 (Bar.ut2mod)"), 0);
}

// The paths go back as their bytes: a Latin-1 name (no UTF-8) is found again.
TEST_F(ZipTabTest, TheUndoTabTakesAnInstallationBack) {
    const std::string mod = fx.dir / "Baz.ut4mod";
    tvtest::writeFile(mod, tvtest::makeUmod({{"Maps\\DM-Baz.ut2", "baz"},
                                             {"System\\Baz.u", "code"},
                                             {"Maps\\DM-Caf\xe9.ut2", "latin-1"}}));
    ASSERT_TRUE(start());
    showTab("Undo"); // seen before: the installation still shows at once
    auto* installs = child<QTreeWidget>("lvInstalls");
    EXPECT_EQ(installs->topLevelItemCount(), 0);
    prompter.files.push_back({mod});
    click("cmdOpenZIP");
    click("cmdProcessLoadedZIP");
    ASSERT_TRUE(tvtest::exists(fx.game + "/Maps/DM-Baz.ut2"));
    showTab("Undo");
    ASSERT_EQ(installs->topLevelItemCount(), 1);
    QTreeWidgetItem* item = installs->topLevelItem(0);
    EXPECT_EQ(item->text(0), "Baz.ut4mod");
    EXPECT_EQ(item->text(2), "3");
    item->setCheckState(0, Qt::Checked);
    prompter.answers = {true};
    click("cmdUndoInstall");
    EXPECT_EQ(prompter.shown.back().title, "Take Back / Put Back");
    EXPECT_FALSE(tvtest::exists(fx.game + "/Maps/DM-Baz.ut2"));
    EXPECT_FALSE(tvtest::exists(fx.game + "/System/Baz.u"));
    EXPECT_FALSE(tvtest::exists(fx.game + "/Maps/DM-Caf\xe9.ut2"));
    EXPECT_EQ(installs->topLevelItemCount(), 0);
    EXPECT_GE(statusRow("Removed " + QString::fromStdString(fx.game) + "/Maps/DM-Baz.ut2"), 0);
}

// The dialog opens where the player keeps archives: the folder of the last
// ones chosen or dropped (after a restart too), else Downloads, else home.
TEST_F(ZipTabTest, TheArchiveDialogOpensWhereTheArchivesAre) {
    ASSERT_TRUE(start());
    auto opensIn = [&] {
        click("cmdOpenZIP"); // cancelled
        return prompter.requests.back().initialFolder;
    };
    EXPECT_EQ(opensIn(), fx.home);
    std::filesystem::create_directories(fx.home + "/Downloads");
    EXPECT_EQ(opensIn(), fx.home + "/Downloads");

    const std::string maps = fx.dir / "maps";
    std::filesystem::create_directories(maps);
    std::filesystem::rename(archive("DM-Here", "here", false), maps + "/DM-Here.zip");
    prompter.files.push_back({maps + "/DM-Here.zip"});
    click("cmdOpenZIP");
    EXPECT_EQ(opensIn(), maps);
    restart();
    EXPECT_EQ(opensIn(), maps);

    const std::string dropped = fx.dir / "dropped";
    std::filesystem::create_directories(dropped);
    std::filesystem::rename(archive("DM-Drop", "drop", false), dropped + "/DM-Drop.zip");
    drop({file(dropped + "/DM-Drop.zip")});
    EXPECT_EQ(opensIn(), dropped);
    std::filesystem::remove_all(dropped); // gone: the downloads again
    EXPECT_EQ(opensIn(), fx.home + "/Downloads");
}

// An archive or installer without a picture of its own shows its map's
// screenshot; a map without one says so.
TEST_F(ZipTabTest, TheMapsOwnScreenshotStandsInForTheArchivesPicture) {
    tvtest::ue::MapSpec spec;
    spec.title = "Shot";
    spec.screenshotFormat = 9; // L8, 2 x 2, white
    spec.shotWidth = spec.shotHeight = 2;
    spec.shotData = std::string(4, '\xFF');
    const std::string map = tvtest::ue::mapBytes(spec);
    const std::string zip = fx.dir / "DM-Shot.zip";
    makeZip(zip, {{"DM-Shot.ut2", map}});
    const std::string mod = fx.dir / "Shot.ut2mod";
    tvtest::writeFile(mod,
                      tvtest::makeUmod({{"Maps\\DM-Shot.ut2", map},
                                        {"System\\Manifest.ini", "[Setup]\r\nProduct=Shot\r\n"}}));
    const std::string bare = fx.dir / "DM-Bare.zip";
    makeZip(bare, {{"DM-Bare.ut2", tvtest::ue::mapBytes(tvtest::ue::MapSpec{})}});
    ASSERT_TRUE(start());
    auto* picture = child<QLabel>("picFile");
    for (const std::string& archive : {zip, mod}) {
        prompter.files.push_back({archive});
        click("cmdOpenZIP");
        QTRY_VERIFY(!picture->pixmap().isNull());
        const QImage shown = picture->pixmap().toImage();
        EXPECT_EQ(shown.pixelColor(shown.width() / 2, shown.height() / 2), QColor(Qt::white))
            << archive;
    }
    prompter.files.push_back({bare});
    click("cmdOpenZIP");
    QTRY_COMPARE(picture->text().toStdString(), std::string(tv::kNoPictureText));
    // An archive with a picture of its own shows both.
    const std::string both = fx.dir / "DM-Both.zip";
    makeZip(both, {{"DM-Shot.ut2", map}, {"shot.jpg", jpeg()}});
    prompter.files.push_back({both});
    click("cmdOpenZIP");
    auto* mapShot = child<QLabel>("picMapShot");
    QTRY_VERIFY(!mapShot->pixmap().isNull());
    EXPECT_FALSE(picture->pixmap().isNull());
    EXPECT_FALSE(mapShot->isHidden());
    // A screenshot in a texture package the archive brings along.
    tvtest::ue::PackageWriter textures;
    textures.exportTexture("Shot",
                           tvtest::ue::Props(textures)
                               .byteProp("Format", 9)
                               .intProp("USize", 1)
                               .intProp("VSize", 1)
                               .bytes(),
                           {{"\xFF", 1, 1}});
    tvtest::ue::PackageWriter level;
    const int32_t summary =
        level.exportObject(level.classRef("Engine", "LevelSummary"), "LevelSummary", "");
    const int32_t shot = level.importObject("Engine", "Texture", "Shot",
                                            level.importObject("Core", "Package", "ShotTex"));
    level.setSerialData(summary, tvtest::ue::Props(level).objectProp("Screenshot", shot).bytes());
    const std::string apart = fx.dir / "DM-Apart.zip";
    makeZip(apart, {{"DM-Apart.ut2", level.bytes()}, {"ShotTex.utx", textures.bytes()}});
    prompter.files.push_back({apart});
    click("cmdOpenZIP");
    QTRY_VERIFY(!picture->pixmap().isNull());
}
