// Quillet's FTP client and page publishing against pyftpdlib on 127.0.0.1.
#include <quillet/page_manager.h>
#include <quillet/quick_ftp.h>

#include "ftp_server.h"
#include "inet_ftp.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>

using namespace quillet;
namespace fs = std::filesystem;

namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Names in a folder, to see that nothing was left behind.
std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class Ftp : public ::testing::Test {
protected:
    tvtest::TempDir served;
    tvtest::TempDir local;
    std::unique_ptr<FtpServer> server;
    const std::string user = "tess";
    const std::string password = "s3cret-pass";

    void SetUp() override {
        if (FtpServer::python().empty())
            GTEST_SKIP() << "no Python here has pyftpdlib (setup.sh installs python3-pyftpdlib)";
        fs::create_directory(served / "pub");
        writeFile(served / "readme.txt", "root readme\n");
        writeFile(served / "pub/readme.txt", "pub readme\n");
        server = std::make_unique<FtpServer>(served.path(), user, password);
        ASSERT_TRUE(server->running());
    }
};

} // namespace

TEST_F(Ftp, BinaryTransfersKeepEveryByte) {
    std::string bytes(300000, '\0');
    std::mt19937 random(7);
    for (char& c : bytes)
        c = static_cast<char>(random());
    bytes += "\r\n\n\r";
    writeFile(local / "data.bin", bytes);
    QuickFTP ftp;
    ASSERT_TRUE(ftp.SendFile(server->host(), user, password, local / "data.bin", "/pub/data.bin"))
        << ftp.LastErrorText();
    EXPECT_EQ(readAll(served / "pub/data.bin"), bytes);
    ASSERT_TRUE(ftp.GetFile(server->host(), user, password, "/pub/data.bin", local / "back.bin"));
    EXPECT_EQ(readAll(local / "back.bin"), bytes);
    EXPECT_EQ(server->openConnections(), 0);
}

TEST_F(Ftp, TextModeConvertsLineEndsBothWays) {
    writeFile(local / "page.txt", "one\ntwo\r\nthree\r\n");
    writeFile(served / "pub/unix.txt", "x\ny\n");
    QuickFTP ftp;
    ftp.TransferType(ASCII);
    ASSERT_TRUE(ftp.SendFile(server->host(), user, password, local / "page.txt", "/pub/page.txt"));
    EXPECT_EQ(readAll(served / "pub/page.txt"), "one\ntwo\nthree\n"); // no doubled CR
    ASSERT_TRUE(ftp.GetFile(server->host(), user, password, "/pub/unix.txt", local / "unix.txt"));
    EXPECT_EQ(readAll(local / "unix.txt"), "x\ny\n");
    // Binary again: a CR LF file arrives as it is.
    ftp.TransferType(Binary);
    ASSERT_TRUE(ftp.SendFile(server->host(), user, password, local / "page.txt", "/pub/raw.txt"));
    EXPECT_EQ(readAll(served / "pub/raw.txt"), "one\ntwo\r\nthree\r\n");
}

TEST_F(Ftp, AWrongPasswordLeavesNothingOpen) {
    writeFile(local / "a.txt", "a");
    QuickFTP ftp;
    EXPECT_FALSE(ftp.SendFile(server->host(), user, "wrong", local / "a.txt", "/a.txt"));
    EXPECT_FALSE(fs::exists(served / "a.txt"));
    EXPECT_EQ(ftp.LastErrorText().find("wrong"), std::string::npos);
    EXPECT_EQ(server->openConnections(), 0);
    EXPECT_GE(server->connectionsMade(), 1);
    // No remote name: nothing is even tried.
    EXPECT_FALSE(ftp.SendFile(server->host(), user, password, local / "a.txt"));
    EXPECT_EQ(namesIn(served.path()), (std::vector<std::string>{"pub", "readme.txt"}));
}

TEST_F(Ftp, DownloadsComeFromTheFolderNamed) {
    QuickFTP ftp;
    ASSERT_TRUE(ftp.GetFile(server->host(), user, password, "/pub/readme.txt", local / "r1"));
    EXPECT_EQ(readAll(local / "r1"), "pub readme\n");
    ASSERT_TRUE(ftp.GetFile(server->host(), user, password, "readme.txt", local / "r2"));
    EXPECT_EQ(readAll(local / "r2"), "root readme\n");
    // A folder that cannot be entered fails; the root's file of that name is not it.
    writeFile(local / "r3", "old and good");
    EXPECT_FALSE(ftp.GetFile(server->host(), user, password, "/nodir/readme.txt", local / "r3"));
    EXPECT_EQ(readAll(local / "r3"), "old and good");
    // A file that is not there leaves the local one as it was, and no part file.
    EXPECT_FALSE(ftp.GetFile(server->host(), user, password, "/pub/none.txt", local / "r3"));
    EXPECT_EQ(readAll(local / "r3"), "old and good");
    EXPECT_EQ(namesIn(local.path()), (std::vector<std::string>{"r1", "r2", "r3"}));
}

TEST_F(Ftp, UnusualNamesTravelAndHostileOnesAreRefused) {
    writeFile(local / "my file #1.txt", "spaced");
    QuickFTP ftp;
    ASSERT_TRUE(ftp.SendFile(server->host(), user, password, local / "my file #1.txt",
                             "/pub/my file #1 %20.txt"));
    EXPECT_EQ(readAll(served / "pub/my file #1 %20.txt"), "spaced");
    ASSERT_TRUE(ftp.GetFile(server->host(), user, password, "/pub/my file #1 %20.txt",
                            local / "back #2.txt"));
    EXPECT_EQ(readAll(local / "back #2.txt"), "spaced");

    // A line break in a name would start a command of its own: nothing is sent.
    int before = server->connectionsMade();
    EXPECT_FALSE(ftp.SendFile(server->host(), user, password, local / "my file #1.txt",
                              "/pub/x.txt\r\nDELE /readme.txt"));
    EXPECT_FALSE(
        ftp.GetFile(server->host(), user, password, "/readme.txt\nDELE /readme.txt", local / "y"));
    EXPECT_FALSE(ftp.GetFile(server->host(), "tess\r\nDELE /readme.txt", password, "/readme.txt",
                             local / "y"));
    EXPECT_FALSE(ftp.GetFile("127.0.0.1/evil", user, password, "/readme.txt", local / "y"));
    EXPECT_EQ(server->connectionsMade(), before);
    EXPECT_TRUE(fs::exists(served / "readme.txt"));
}

TEST_F(Ftp, ALocalFileThatCannotBeSentNeverReachesTheServer) {
    writeFile(served / "pub/kept.txt", "the server's copy");
    fs::create_directory(local / "kept.txt");
    QuickFTP ftp;
    const int before = server->connectionsMade();
    for (const std::string& bad : {local / "kept.txt", local / "missing.txt"}) {
        EXPECT_FALSE(ftp.SendFile(server->host(), user, password, bad, "/pub/kept.txt")) << bad;
        EXPECT_NE(ftp.LastErrorText().find(bad), std::string::npos) << ftp.LastErrorText();
    }
    EXPECT_EQ(server->connectionsMade(), before);
    EXPECT_EQ(readAll(served / "pub/kept.txt"), "the server's copy");

    // A file whose reading fails half-way: the transfer stops and says why.
    ftp.TransferType(ASCII);
    EXPECT_FALSE(ftp.SendFile(server->host(), user, password, "/proc/self/mem", "/pub/mem.txt"));
    EXPECT_NE(ftp.LastErrorText().find("cannot read /proc/self/mem"), std::string::npos)
        << ftp.LastErrorText();
}

TEST_F(Ftp, APortWithoutAServerFailsAtOnce) {
    auto started = std::chrono::steady_clock::now();
    QuickFTP ftp;
    EXPECT_FALSE(ftp.GetFile("127.0.0.1:1", user, password, "/readme.txt", local / "z"));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_FALSE(ftp.LastErrorText().empty());
}

TEST_F(Ftp, SessionFoldersAndListing) {
    fs::create_directory(served / "pub/sub");
    writeFile(served / "pub/small.txt", "12345");
    { std::ofstream big(served / "pub/big.iso"); }
    fs::resize_file(served / "pub/big.iso", 5LL * 1024 * 1024 * 1024); // sparse, over 4 GB
    fs::create_directory(served / ("pub/" + server->host()));

    INetFTP ftp;
    EXPECT_FALSE(ftp.Connect()); // no session yet
    ASSERT_TRUE(ftp.OpenSession());
    ftp.Server = server->host();
    ftp.UserName = user;
    ftp.Password = password;
    ASSERT_TRUE(ftp.Connect()) << ftp.LastErrorText();
    EXPECT_TRUE(ftp.SessionActive());
    EXPECT_EQ(ftp.LastDLLError(), "");
    EXPECT_EQ(ftp.FTPCurDir(), "/");
    // The server's name starting a path is dropped...
    ASSERT_TRUE(ftp.RemoteChDir("ftp://" + server->host() + "/pub"));
    EXPECT_EQ(ftp.FTPCurDir(), "/pub");
    // ...but not where it stands inside one.
    ASSERT_TRUE(ftp.RemoteChDir("/pub/" + server->host()));
    EXPECT_EQ(ftp.FTPCurDir(), "/pub/" + server->host());
    EXPECT_FALSE(ftp.RemoteChDir("/nodir"));
    EXPECT_EQ(ftp.LastDLLError(), "9"); // CURLE_REMOTE_ACCESS_DENIED
    EXPECT_EQ(ftp.FTPCurDir(), "/pub/" + server->host());
    ASSERT_TRUE(ftp.RemoteChDir(".."));
    EXPECT_TRUE(ftp.CreateDirectory("made"));
    EXPECT_TRUE(fs::is_directory(served / "pub/made"));

    std::map<std::string, std::pair<std::string, std::int64_t>> listing;
    for (int i = 1; i <= ftp.FTPDirCount(); ++i)
        listing[ftp.FTPDirEntry(i)] = {ftp.FTPDirAttrString(i), ftp.FTPDirSize(i)};
    EXPECT_EQ(listing.size(), 6u);
    EXPECT_EQ(listing["sub"].first, "<directory>");
    EXPECT_EQ(listing["made"].first, "<directory>");
    EXPECT_EQ(listing["small.txt"], std::make_pair(std::string("normal"), std::int64_t{5}));
    EXPECT_EQ(listing["big.iso"].second, 5LL * 1024 * 1024 * 1024);
    EXPECT_EQ(ftp.FTPDirEntry(0), "");
    EXPECT_EQ(ftp.FTPDirEntry(99), "");

    // Files up and down within the session, relative to its folder.
    writeFile(local / "up.txt", "up");
    EXPECT_TRUE(ftp.PutFile(local / "up.txt", "sub/up.txt"));
    EXPECT_EQ(readAll(served / "pub/sub/up.txt"), "up");
    EXPECT_TRUE(ftp.GetFile("/pub/sub/up.txt", local / "down.txt"));
    EXPECT_EQ(readAll(local / "down.txt"), "up");
    EXPECT_EQ(ftp.FTPCurDir(), "/pub/sub"); // the download entered its folder
    ftp.Disconnect();
    EXPECT_FALSE(ftp.SessionActive());
    EXPECT_FALSE(ftp.GetFile("/pub/sub/up.txt", local / "again.txt"));
    ftp.CloseSession();
    EXPECT_EQ(server->openConnections(), 0);
}

TEST(FtpListing, UnixAndDosFormsAndAttributes) {
    auto unix =
        INetFTP::parseList("total 12\r\n"
                           "drwxr-xr-x   2 ftp  ftp        4096 Jan  1 12:00 a folder\r\n"
                           "-r--r--r--   1 ftp  ftp  6442450944 Mar 15  2021 huge file.iso\r\n"
                           "-rw-r--r--   1 1000      12 Dec 31 23:59 .hidden\r\n"
                           "lrwxrwxrwx   1 ftp  ftp          7 Feb  2 10:00 link -> target\r\n"
                           "drwxr-xr-x   2 ftp  ftp        4096 Jan  1 12:00 .\r\n");
    ASSERT_EQ(unix.size(), 4u);
    EXPECT_EQ(unix[0].name, "a folder");
    EXPECT_EQ(INetFTP::GetEnglishAttributes(unix[0].attributes), "<directory>");
    EXPECT_EQ(unix[1].name, "huge file.iso");
    EXPECT_EQ(unix[1].size, 6442450944LL);
    EXPECT_EQ(INetFTP::GetEnglishAttributes(unix[1].attributes), "Readonly");
    EXPECT_EQ(unix[2].size, 12);
    EXPECT_EQ(INetFTP::GetEnglishAttributes(unix[2].attributes), "Hidden");
    EXPECT_EQ(unix[3].name, "link");

    auto dos = INetFTP::parseList("01-16-02  11:14AM       <DIR>          eps group\r\n"
                                  "06-05-03  03:19PM           5000000000 readme file.txt\r\n");
    ASSERT_EQ(dos.size(), 2u);
    EXPECT_EQ(dos[0].name, "eps group");
    EXPECT_EQ(dos[0].attributes, 16);
    EXPECT_EQ(dos[1].size, 5000000000LL);
    EXPECT_EQ(dos[1].attributes, 128);

    auto mlsd = INetFTP::parseMlsd("type=cdir;perm=el; .\r\n"
                                   "Type=dir;Perm=el;sizd=4096; read only dir\r\n"
                                   "type=file;size=4294967297;perm=r; file; with semicolon\r\n");
    ASSERT_EQ(mlsd.size(), 2u);
    EXPECT_EQ(INetFTP::GetEnglishAttributes(mlsd[0].attributes), "Readonly <directory>");
    EXPECT_EQ(mlsd[1].name, "file; with semicolon");
    EXPECT_EQ(mlsd[1].size, 4294967297LL);
    EXPECT_EQ(INetFTP::GetEnglishAttributes(0), "");
    EXPECT_EQ(INetFTP::GetEnglishAttributes(1 | 2 | 4 | 16 | 256 | 32 | 128 | 2048 | 4096),
              "Readonly Hidden System <directory> Temporary Archive normal Compressed Offline");
}

TEST(FtpListing, Paths) {
    EXPECT_EQ(INetFTP::GetPathFromFTPPath("/pub/readme.txt"), "/pub/");
    EXPECT_EQ(INetFTP::GetPathFromFTPPath("readme.txt"), "");
    EXPECT_EQ(INetFTP::GetNameFromFTPPath("/pub/readme.txt"), "readme.txt");
    EXPECT_EQ(INetFTP::GetNameFromFTPPath("readme.txt"), "readme.txt");
    EXPECT_EQ(INetFTP::TrimNulls(std::string("ab\0cd", 5)), "ab");
    EXPECT_EQ(INetFTP::resolvePath("/pub", "docs/../x/./y"), "/pub/x/y");
    EXPECT_EQ(INetFTP::resolvePath("/pub", "/"), "/");
    EXPECT_EQ(INetFTP::resolvePath("/pub", "../../.."), "/");
}

// ---- publishing -------------------------------------------------------------------------------
namespace {

class Publishing : public Ftp {
protected:
    tvtest::TempDir temp; // the system's temporary folder, for this test alone
    std::vector<std::pair<std::string, MessageType>> messages;
    PageManager manager;
    void SetUp() override {
        Ftp::SetUp();
        ::setenv("TMPDIR", temp.path().c_str(), 1);
        manager.IncomingMessage = [this](const std::string& text, MessageType priority) {
            messages.emplace_back(text, priority);
        };
    }
    void TearDown() override { ::unsetenv("TMPDIR"); }
    ServerData to(const std::string& localName, const std::string& remote) {
        return {server->host(), user, password, local / localName, remote};
    }
};

} // namespace

TEST_F(Publishing, NothingToDoIsCritical) {
    manager.ProcessPages();
    manager.SetPageData({{"[x]", "y"}});
    manager.ProcessPages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], std::make_pair(std::string("No page or server data!"), Critical));
    EXPECT_EQ(messages[1], messages[0]);
}

TEST_F(Publishing, FillsTagsOnceAndSendsEachEntry) {
    writeFile(local / "page.html", "<title>[title]</title>\n<p>[Body] at @time on @LONGDATE</p>\n"
                                   "<p>@RemoteFileName from @localfilename to @RemoteServer, "
                                   "@ShortDate</p>\nCaf\xc3\xa9\n");
    manager.SetPageData({{"[TITLE]", "News & @Time [body]"}, {"[body]", "Body text"}, {"", "x"}});
    manager.SetServerData({to("missing.html", "/pub/missing.html"), to("page.html", "/pub/a.html"),
                           to("page.html", "/pub/b.html")});
    manager.ProcessPages();

    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0],
              std::make_pair(std::string("Local file doesn't exist or contains no data!"), Error));
    const std::regex sent("Sent " +
                          std::regex_replace(local / "page.html", std::regex("[.]"), "\\.") +
                          " to 127\\.0\\.0\\.1:\\d+ on .+ at \\d\\d:\\d\\d:\\d\\d (AM|PM)\\.");
    EXPECT_TRUE(std::regex_match(messages[1].first, sent)) << messages[1].first;
    EXPECT_EQ(messages[1].second, Information);
    EXPECT_EQ(messages[2].second, Information);

    std::string a = readAll(served / "pub/a.html");
    // The title's content is published as it is: its "@Time" and "[body]" are text.
    EXPECT_EQ(a.rfind("<title>News & @Time [body]</title>\r\n<p>Body text at ", 0), 0u) << a;
    EXPECT_TRUE(std::regex_search(a, std::regex("at \\d\\d:\\d\\d (AM|PM) on ")));
    EXPECT_NE(a.find("<p>/pub/a.html from " + (local / "page.html") + " to " + server->host()),
              std::string::npos);
    EXPECT_NE(a.find("Caf\xc3\xa9\r\n"), std::string::npos); // UTF-8 kept
    EXPECT_EQ(a.find('@'), a.find("@Time [body]"));          // no built-in tag left
    std::string b = readAll(served / "pub/b.html");
    EXPECT_NE(b.find("<p>/pub/b.html from "), std::string::npos);
    EXPECT_EQ(readAll(local / "page.html").find('\r'), std::string::npos); // template untouched
    EXPECT_TRUE(namesIn(temp.path()).empty());
}

TEST_F(Publishing, AFailedSendSaysSoWithoutThePassword) {
    writeFile(local / "page.html", "[x]\n");
    writeFile(local / "latin.html", "caf\xe9 [x]\n");
    ServerData wrong = to("page.html", "/pub/p.html");
    wrong.Password = "the-wrong-password";
    manager.SetPageData({{"[x]", "y"}});
    manager.SetServerData({wrong, to("latin.html", "/pub/latin.html")});
    manager.ProcessPages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].first, "Cannot send " + (local / "page.html") + " to " + server->host() +
                                     " - an FTP error occured. Check username and password, "
                                     "remote host details, allocated disk quota, or server "
                                     "availability!");
    EXPECT_EQ(messages[0].second, Error);
    EXPECT_EQ(messages[0].first.find("the-wrong-password"), std::string::npos);
    EXPECT_EQ(readAll(served / "pub/latin.html"), "caf\xe9 y\r\n"); // Latin-1 kept
    EXPECT_TRUE(namesIn(temp.path()).empty());
    EXPECT_EQ(server->openConnections(), 0);
}

TEST_F(Publishing, ALargeTemplateIsFilledWholeWhileReadInPieces) {
    // Over a megabyte in pairs of lines of 17 bytes, so that the pieces it is
    // read in end at every place of a pair (inside a tag, a character, a CR LF).
    std::string utf8 = "\xef\xbb\xbf", utf8Sent = utf8; // the byte order mark stays
    for (int i = 0; i < 70000; ++i) {
        utf8 += "x[T]\xc3\xa9\xf0\x9f\x98\x80\ny[t]\r\n";
        utf8Sent += "xT\xc3\xa9\xc3\xa9\xf0\x9f\x98\x80\r\nyT\xc3\xa9\r\n";
    }
    // Its only byte that is not UTF-8 far from the start: all of it is Latin-1.
    std::string latin1, latin1Sent;
    for (int i = 0; i < 100000; ++i) {
        latin1 += "[t]\n";
        latin1Sent += "T\xe9\r\n";
    }
    latin1 += "caf\xe9";
    latin1Sent += "caf\xe9\r\n";
    writeFile(local / "utf8.html", utf8);
    writeFile(local / "latin1.html", latin1);
    manager.SetPageData({{"[t]", "T\xc3\xa9"}});
    manager.SetServerData(
        {to("utf8.html", "/pub/utf8.html"), to("latin1.html", "/pub/latin1.html")});
    manager.ProcessPages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].second, Information) << messages[0].first;
    EXPECT_EQ(messages[1].second, Information) << messages[1].first;
    EXPECT_TRUE(readAll(served / "pub/utf8.html") == utf8Sent);
    EXPECT_TRUE(readAll(served / "pub/latin1.html") == latin1Sent);
    EXPECT_TRUE(namesIn(temp.path()).empty());
}

TEST_F(Ftp, TheEnvironmentsProxiesAreNotUsed) {
    // A proxy that is not there: with it the transfer could not work.
    for (const char* name : {"ftp_proxy", "FTP_PROXY", "all_proxy", "ALL_PROXY"})
        ::setenv(name, "http://127.0.0.1:1", 1);
    QuickFTP ftp;
    bool ok = ftp.GetFile(server->host(), user, password, "/readme.txt", local / "r");
    for (const char* name : {"ftp_proxy", "FTP_PROXY", "all_proxy", "ALL_PROXY"})
        ::unsetenv(name);
    EXPECT_TRUE(ok) << ftp.LastErrorText();
    EXPECT_EQ(readAll(local / "r"), "root readme\n");
}
