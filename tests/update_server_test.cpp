// The update check through Quillet's real browser and through tessvane-cli,
// against a server on 127.0.0.1.
#include "test_support.h"

#include "platform/cfile.h"
#include "update/internet_connection.h"
#include "update/update_check.h"
#include "update/web_pages.h"

#include <quillet/net_connection.h>

#include <QApplication>
#include <QLoggingCategory>

#include "page_server.h"

#include <gtest/gtest.h>

#include <map>
#include <thread>

using namespace tv;

namespace {

using Site = std::map<std::string, std::string>;

// The maker's server, with the pages a test gives it (as plain text).
class UpdateServer : public PageServer {
public:
    explicit UpdateServer(Site pages) : PageServer(std::move(pages), "text/plain") {}
    std::string url() const { return PageServer::url(""); }
};

const std::map<std::string, std::string> kSite = {
    {"/vb/vercheck/ver.txt", "Tessvane news\ntessvaneverstart  7.2\t TESSVANEVEREND\n"
                             "TessvaneVerInfoStart Big changes TessvaneVerInfoEnd\n"},
    {"/vb/vercheck/download.txt", "TessvaneStart https://example.org/t-7.2.tar.gz TessvaneEnd\n"}};

tvtest::CliResult checkUpdate(const std::string& env) {
    tvtest::TempDir dir;
    std::string errFile = dir / "err";
    tvtest::CommandResult r = tvtest::runCommand(env + " " + TESSVANE_CLI + " check-update 2>" +
                                                 tvtest::shellQuote(errFile));
    return {r.status, r.out, tvtest::readFile(errFile)};
}

} // namespace

TEST(UpdateServer, TheBrowserReadsTheVersionPagesInAnyLetterCase) {
    UpdateServer server(kSite);
    quillet::NetConnection::SetConnectionState(true);
    WebParserPages pages;
    UpdateResult r = checkForUpdate(pages, server.url(), "1.10");
    EXPECT_EQ(r.state, UpdateResult::State::Update);
    EXPECT_EQ(r.version, "7.2");
    EXPECT_EQ(r.description, "Big changes");
    EXPECT_EQ(r.address, "https://example.org/t-7.2.tar.gz");
}

TEST(UpdateServer, TheCommandLineSaysWhatItFoundByItsExitStatus) {
    UpdateServer server(kSite);
    const std::string online =
        "QUILLET_CONNECTION_STATE=online TESSVANE_UPDATE_URL=" + tvtest::shellQuote(server.url());
    tvtest::CliResult found = checkUpdate(online);
    EXPECT_EQ(found.status, 10) << found.err;
    EXPECT_EQ(found.out, "Version 7.2 is available.  Click the link below:\nBig changes\n"
                         "https://example.org/t-7.2.tar.gz\n");

    // A description of two lines keeps its line break (it is no control to escape).
    auto twoLines = kSite;
    twoLines["/vb/vercheck/ver.txt"] = "TessvaneVerStart 7.2 TessvaneVerEnd TessvaneVerInfoStart "
                                       "Line one\nLine two TessvaneVerInfoEnd\n";
    UpdateServer two(twoLines);
    found = checkUpdate("QUILLET_CONNECTION_STATE=online TESSVANE_UPDATE_URL=" +
                        tvtest::shellQuote(two.url()));
    EXPECT_EQ(found.status, 10) << found.err;
    EXPECT_NE(found.out.find("\nLine one\nLine two\nhttps://"), std::string::npos) << found.out;

    UpdateServer same(Site{{"/vb/vercheck/ver.txt", "TessvaneVerStart 1.0 TessvaneVerEnd"}});
    tvtest::CliResult none = checkUpdate("QUILLET_CONNECTION_STATE=online TESSVANE_UPDATE_URL=" +
                                         tvtest::shellQuote(same.url()));
    EXPECT_EQ(none.status, 0) << none.err;
    EXPECT_EQ(none.out, "No updates are currently available.\n");

    UpdateServer empty(Site{});
    tvtest::CliResult failed = checkUpdate("QUILLET_CONNECTION_STATE=online TESSVANE_UPDATE_URL=" +
                                           tvtest::shellQuote(empty.url()));
    EXPECT_EQ(failed.status, 1);
    EXPECT_NE(failed.err.find("Tessvane: The update server could not be reached or gave no "
                              "version.\n"),
              std::string::npos)
        << failed.err;

    tvtest::CliResult offline = checkUpdate(
        "QUILLET_CONNECTION_STATE=offline TESSVANE_UPDATE_URL=" + tvtest::shellQuote(server.url()));
    EXPECT_EQ(offline.status, 1);
    EXPECT_EQ(offline.err, "Tessvane: Connect to the internet before checking for updates.\n");
    EXPECT_EQ(offline.out, "");
}

TEST(UpdateServer, AHostileServerIsReadBoundedAndItsTextMadePlain) {
    quillet::NetConnection::SetConnectionState(true);
    // The page's scripts do not run: a version only a script would write
    // (before it takes memory without end) is no version.
    PageServer scripted(
        Site{{"/vb/vercheck/ver.txt",
              "<html><body>news<script>document.body.textContent = "
              "'TessvaneVerStart 9.9 TessvaneVerEnd'; var keep = []; "
              "for (;;) keep.push(new Array(1000000).fill(1));</script></body></html>"}});
    {
        WebParserPages pages;
        EXPECT_EQ(checkForUpdate(pages, scripted.url(""), "1.0").state,
                  UpdateResult::State::Failed);
    }
    // Nothing but http and https is followed.
    PageServer elsewhere(
        Site{{"/vb/vercheck/ver.txt",
              "<html><head><meta http-equiv='refresh' content='0;url=data:text/plain,"
              "TessvaneVerStart 9.9 TessvaneVerEnd'></head><body>x</body></html>"}});
    {
        WebParserPages pages;
        EXPECT_EQ(checkForUpdate(pages, elsewhere.url(""), "1.0").state,
                  UpdateResult::State::Failed);
    }
    // A long page is read only as far as the bound; what the server wrote
    // into the description cannot steer a terminal.
    std::string lines;
    while (lines.size() < (2u << 20))
        lines += std::string(99, 'x') + "\n";
    PageServer longer(Site{{"/vb/vercheck/ver.txt",
                            "TessvaneVerStart 9.9 TessvaneVerEnd TessvaneVerInfoStart "
                            "\x1b[2J\x1b]0;owned\x1b\\ one\r\ntwo TessvaneVerInfoEnd\n" +
                                lines + "TessvaneStart https://example.org/x TessvaneEnd\n"}},
                      "text/plain");
    {
        WebParserPages pages;
        UpdateResult r = checkForUpdate(pages, longer.url(""), "1.0");
        EXPECT_EQ(r.state, UpdateResult::State::Update);
        EXPECT_EQ(r.description, "\\x1B[2J\\x1B]0;owned\\x1B\\ one\ntwo");
    }
    // A huge page meets the renderer's bound: the check fails, in time.
    std::string huge;
    while (huge.size() < (60u << 20))
        huge += lines;
    PageServer hugeServer(Site{{"/vb/vercheck/ver.txt", huge}}, "text/plain");
    {
        WebParserPages pages;
        EXPECT_EQ(checkForUpdate(pages, hugeServer.url(""), "1.0").state,
                  UpdateResult::State::Failed);
    }
    EXPECT_EQ(plainDescription("a\rb\r\nc\td"), "a\nb\nc\\x09d");
}

TEST(InternetConnection, WorkModeSwitchesTheStateBothLibrariesSee) {
    CInternetConnection connection;
    quillet::NetConnection::SetConnectionState(true);
    EXPECT_TRUE(connection.Connected());
    EXPECT_EQ(connection.ConnectionType(), 2);
    EXPECT_FALSE(connection.RasInstalled());
    connection.WorkMode(1);
    EXPECT_EQ(connection.WorkMode(), 1);
    EXPECT_FALSE(connection.Connected());
    EXPECT_FALSE(quillet::NetConnection().IsConnected());
    EXPECT_EQ(connection.ConnectionType(), 4);
    EXPECT_EQ(connection.ConnectionName(), "");
    connection.WorkMode(2);
    EXPECT_EQ(connection.WorkMode(), 2);
    try {
        connection.WorkMode(3);
        FAIL() << "no error raised";
    } catch (const ComponentError& e) {
        EXPECT_EQ(e.number(), 0x80044525u);
        EXPECT_STREQ(e.what(), "Invalid work mode");
        EXPECT_EQ(e.source(), programName() + ".CInternetConnection");
    }
    quillet::NetConnection::SetConnectionState(std::nullopt);
}
