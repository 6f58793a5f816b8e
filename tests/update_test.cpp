// The update check's reading of the version pages, without a browser.
#include "fake_pages.h"

#include "update/update_check.h"

#include <gtest/gtest.h>

using namespace tv;
using tvtest::FakePages;
using Site = std::map<std::string, std::string>;

namespace {

const std::string kServer = "https://updates.test";
const std::string kVersionPage = kServer + "/vb/vercheck/ver.txt";
const std::string kDownloadPage = kServer + "/vb/vercheck/download.txt";

std::string versionPage(const std::string& version) {
    return "Latest: TessvaneVerStart " + version +
           " TessvaneVerEnd\nTessvaneVerInfoStart Faster runs.\tTessvaneVerInfoEnd";
}

} // namespace

TEST(Versions, CompareAsNumbersPartByPart) {
    EXPECT_GT(compareVersions("1.10", "1.9"), 0);
    EXPECT_EQ(compareVersions("1.03", "1.3"), 0);
    EXPECT_EQ(compareVersions("1", "1.0.0"), 0);
    EXPECT_LT(compareVersions("1.3", "1.4"), 0);
    EXPECT_GT(compareVersions("2.0", "1.99"), 0);
    EXPECT_GT(compareVersions("1.0.1", "1.0"), 0);
    EXPECT_GT(compareVersions("123456789012345678901234567890", "9"), 0);
    for (const char* good : {"1", "1.4", "10.0.3"})
        EXPECT_TRUE(isVersionText(good)) << good;
    for (const char* bad : {"", "1.", ".1", "1..2", "v1.4", "1.4 beta", "1,4"})
        EXPECT_FALSE(isVersionText(bad)) << bad;
    EXPECT_EQ(runningVersion(), "1.0");
}

TEST(Versions, OnlyWebAddressesAreOffered) {
    EXPECT_TRUE(isWebAddress("https://example.org/tessvane.tar.gz"));
    EXPECT_TRUE(isWebAddress("HTTP://example.org/"));
    for (const char* bad : {"file:///etc/passwd", "javascript:alert(1)", "ftp://x/y", "https://",
                            "/home/x", "https://a b", "https://x\"onload", ""})
        EXPECT_FALSE(isWebAddress(bad)) << bad;
}

TEST(UpdateCheck, ANewerVersionComesWithItsDescriptionAndAddress) {
    FakePages pages(
        Site{{kVersionPage, versionPage("1.10")},
             {kDownloadPage, "tessvanestart https://updates.test/t.tar.gz tessvaneend"}});
    UpdateResult r = checkForUpdate(pages, kServer, "1.9");
    EXPECT_EQ(r.state, UpdateResult::State::Update);
    EXPECT_EQ(r.version, "1.10");
    EXPECT_EQ(r.description, "Faster runs.");
    EXPECT_EQ(r.address, "https://updates.test/t.tar.gz");
    EXPECT_EQ(r.sentence(), "Version 1.10 is available.  Click the link below:");
    EXPECT_EQ(pages.opened, (std::vector<std::string>{kVersionPage, kDownloadPage}));
}

TEST(UpdateCheck, EqualOlderAndNonNumericVersionsAreNoUpdate) {
    for (const char* version : {"1.3", "1.03", "1.2", "0.9", "1.4 beta"}) {
        FakePages pages(Site{{kVersionPage, versionPage(version)}});
        UpdateResult r = checkForUpdate(pages, kServer, "1.3");
        EXPECT_EQ(r.state, UpdateResult::State::NoUpdate) << version;
        EXPECT_EQ(r.sentence(), "No updates are currently available.");
        EXPECT_EQ(pages.opened.size(), 1u); // the download page is not asked for
    }
}

TEST(UpdateCheck, AFailedCheckIsNotNoUpdate) {
    FakePages none(Site{});
    EXPECT_EQ(checkForUpdate(none, kServer, "1.0").state, UpdateResult::State::Failed);
    FakePages noVersion(Site{{kVersionPage, "a page without the markers"}});
    UpdateResult r = checkForUpdate(noVersion, kServer, "1.0");
    EXPECT_EQ(r.state, UpdateResult::State::Failed);
    EXPECT_EQ(r.sentence(), "The update server could not be reached or gave no version.");
}

TEST(UpdateCheck, ADownloadAddressThatIsNoWebAddressIsNotOffered) {
    for (const std::string& download :
         {std::string(), std::string("TessvaneStart file:///etc/passwd TessvaneEnd")}) {
        std::map<std::string, std::string> site = {{kVersionPage, versionPage("2.0")}};
        if (!download.empty()) site[kDownloadPage] = download;
        FakePages pages(site);
        UpdateResult r = checkForUpdate(pages, kServer, "1.0");
        EXPECT_EQ(r.state, UpdateResult::State::Update);
        EXPECT_EQ(r.address, "");
        EXPECT_EQ(r.sentence(), "Version 2.0 is available, but no download address could be read.");
    }
}
