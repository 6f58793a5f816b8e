#include "ftp_server.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>

namespace {

tvtest::CommandResult quillet(const std::string& args, const std::string& errors = "/dev/null") {
    return tvtest::runCommand(std::string("QT_QPA_PLATFORM=offscreen ") + QUILLET_PROGRAM + " " +
                              args + " </dev/null 2>" + errors);
}

std::string readAll(const std::string& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A page of one table of one cell ("a") in `dir`; its path.
std::string tablePage(const tvtest::TempDir& dir) {
    std::string page = dir / "page.html";
    std::ofstream(page) << "<html><head><title>T</title></head><body><table><tr><td>a</td></tr>"
                           "</table></body></html>";
    return page;
}

} // namespace

TEST(QuilletProgram, TextFunctionsWithoutAPage) {
    tvtest::CommandResult r = quillet("- GE_ConvertCase 'news of the day'");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "News of the Day\n");
    EXPECT_EQ(quillet("- GE_SimilarSubjects color colour").out, "True\n");
    EXPECT_EQ(quillet("- GE_RemoveTextBetween 'a (b) c' '(' ')'").out, "a c\t(b)\n");
    EXPECT_EQ(quillet("- GE_CutToSentences 'One. Two. Three.' 2").out, "One. Two.\n");
    EXPECT_EQ(quillet("- GE_ConvertCase x notanumber").status, 2);
    EXPECT_EQ(quillet("- NoSuchMember").status, 2);
}

TEST(QuilletProgram, LocalPageWithARule) {
    // A folder of this test's own: runs at the same time must not share the page.
    tvtest::TempDir dir;
    std::string file = dir / "quillet-cli-page.html";
    std::ofstream(file) << "<html><head><title>Local Title</title></head><body><p>Version [ 2.0 ] "
                           "here</p></body></html>";
    EXPECT_EQ(quillet(file + " PageTitle").out, "Local Title\n");
    EXPECT_EQ(quillet(file + " GetTextBetweenText '[' ']' True").out, "[ 2.0 ]\n");
    EXPECT_EQ(quillet("--rule all,7,Version,Release " + file + " GetParagraph 1 3").out,
              "Release [ 2.0 ] here\n");
    EXPECT_EQ(quillet("--rule all,ReplaceText,Version,Release " + file + " GetParagraph 1 3").out,
              "Release [ 2.0 ] here\n");
    EXPECT_EQ(quillet("--rule all,NoSuchRule " + file + " PageTitle").status, 2);
    EXPECT_EQ(quillet(file + " RunScript \"document.title = 'Scripted'\"").out, "");
    std::filesystem::remove(file);
    EXPECT_EQ(quillet(file + " PageTitle").status, 1);
}

TEST(QuilletProgram, SeveralMembersOnOnePage) {
    tvtest::TempDir dir;
    std::string page = dir / "form.html";
    std::ofstream(page)
        << "<html><head><title>Form</title></head><body>"
           "<p>See <a style='white-space:pre' href='other.html'>the\tother \\\npage</a></p>"
           "<img src='x.png' alt='a picture' width='7' height='5'>"
           "<form action='results.html'><input name='q'></form></body></html>";
    std::ofstream(dir / "results.html")
        << "<html><head><title>Results</title></head><body>found</body></html>";
    std::string errors = dir / "errors.txt";
    tvtest::CommandResult r =
        quillet(page + " GrabLinks --then GrabPictures --then FormFieldSet q hello "
                       "--then FormFieldGet q --then FormSubmit --then PageTitle --then PageURL",
                errors);
    EXPECT_EQ(r.status, 0);
    std::string other = "file://" + (dir / "other.html");
    std::string picture = "file://" + (dir / "x.png");
    std::string results = "file://" + (dir / "results.html") + "?q=hello";
    // A record is one line of tab-separated fields, with tabs and
    // backslashes inside a field escaped; a member without a result prints nothing.
    EXPECT_EQ(r.out, "the\\tother \\\\\\npage\t" + other + "\n" + picture +
                         "\ta picture\t5\t7\t\n" + "hello\nTrue\nResults\n" + results + "\n");
    // Nothing but the results: the browser engine's own notes stay out.
    EXPECT_EQ(readAll(errors), "");

    EXPECT_EQ(quillet(page + " PageTitle --then").status, 2);
    EXPECT_EQ(quillet(page + " PageTitle --then NoSuchMember").status, 2);
    EXPECT_EQ(quillet(page + " GetCellText 1 1").status, 2);
}

TEST(QuilletProgram, TextFunctionsNeverStartTheBrowser) {
    tvtest::TempDir dir;
    std::string errors = dir / "errors.txt";
    // With --verbose everything the engine says would show; with no page
    // loaded it has nothing to say because it never starts.
    tvtest::CommandResult r = quillet("--verbose - GE_FullTrim ' a ' --then PageTitle", errors);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "a\n\n");
    EXPECT_EQ(readAll(errors).find("Sandbox"), std::string::npos) << readAll(errors);
    EXPECT_EQ(readAll(errors).find("WebEngineContext"), std::string::npos) << readAll(errors);
}

TEST(QuilletProgram, FtpAndPublishing) {
    if (FtpServer::python().empty())
        GTEST_SKIP() << "no Python here has pyftpdlib (setup.sh installs python3-pyftpdlib)";
    tvtest::TempDir served, dir;
    FtpServer server(served.path(), "tess", "pw\"'$x");
    ASSERT_TRUE(server.running());
    std::ofstream(dir / "notes.txt") << "one\ntwo\n";
    // The password from standard input, so it stays out of the process list.
    std::string send = "printf '%s\\n' " + tvtest::shellQuote("pw\"'$x") + " | ";
    tvtest::CommandResult r =
        quillet(" --transfer-type ascii - SendFile " + server.host() + " tess - " +
                tvtest::shellQuote(dir / "notes.txt") + " '/notes copy.txt'");
    EXPECT_EQ(r.status, 1); // nothing on standard input: no password, the login fails
    EXPECT_EQ(r.out, "False\n");
    r = tvtest::runCommand(send + "QT_QPA_PLATFORM=offscreen " + QUILLET_PROGRAM +
                           " --transfer-type ascii - SendFile " + server.host() + " tess - " +
                           tvtest::shellQuote(dir / "notes.txt") + " '/notes copy.txt' 2>&1");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "True\n");
    EXPECT_EQ(readAll(served / "notes copy.txt"), "one\ntwo\n");
    r = quillet("- GetFile " + server.host() + " tess " + tvtest::shellQuote("pw\"'$x") +
                " '/notes copy.txt' " + tvtest::shellQuote(dir / "back.txt") + " --then GetFile " +
                server.host() + " tess wrong /x " + tvtest::shellQuote(dir / "x.txt"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "True\nFalse\n");
    EXPECT_EQ(readAll(dir / "back.txt"), "one\ntwo\n");
    EXPECT_EQ(quillet("--transfer-type text - GetFile h u p r l").status, 2);

    std::ofstream(dir / "page.html") << "<h1>[title]</h1>\n";
    std::ofstream(dir / "pages.tsv") << "[TITLE]\tNews\\tof the day\n";
    std::ofstream(dir / "servers.tsv")
        << server.host() << "\ttess\tpw\"'$x\t" << (dir / "missing.html") << "\t/a.html\n"
        << server.host() << "\ttess\tpw\"'$x\t" << (dir / "page.html") << "\t/b.html\n";
    r = quillet("- ProcessPages " + tvtest::shellQuote(dir / "pages.tsv") + " " +
                tvtest::shellQuote(dir / "servers.tsv"));
    EXPECT_EQ(r.status, 1); // one entry failed
    EXPECT_EQ(r.out.rfind("Error: Local file doesn't exist or contains no data!\n"
                          "Information: Sent " +
                              (dir / "page.html") + " to " + server.host() + " on ",
                          0),
              0u)
        << r.out;
    EXPECT_EQ(readAll(served / "b.html"), "<h1>News\tof the day</h1>\r\n");
}

TEST(QuilletProgram, EveryArgumentIsCheckedBeforeAnythingRuns) {
    tvtest::TempDir dir;
    std::string errors = dir / "errors.txt";
    // A page that would be loaded first: a wrong last argument must stop the
    // call before the browser starts (--verbose would show its messages).
    const std::string page = tablePage(dir);
    const std::pair<const char*, const char*> refused[] = {
        {"GE_CutIntro text abc", "WithinCharacters must be a whole number"},
        {"GetCellText 65537 1 1", "TableNo must be a whole number from -32768 to 32767"},
        {"GetCellText 1 1", "too few arguments"},
        {"PageTitle extra", "too many arguments"},
        {"OpenSearch a b maybe", "OpenInBrowserWindow must be True or False"},
        {"PageTitle --then RulesAdd NoSuchRule x", "unknown rule type 'NoSuchRule'"},
        {"GetParagraph 1 99999999999", "MinimumLength must be a whole number"},
    };
    for (const auto& [call, message] : refused) {
        tvtest::CommandResult r =
            quillet("--verbose " + tvtest::shellQuote(page) + " " + call, errors);
        EXPECT_EQ(r.status, 2) << call;
        EXPECT_TRUE(r.out.empty()) << call; // no member ran
        EXPECT_NE(readAll(errors).find(message), std::string::npos) << call << readAll(errors);
        EXPECT_EQ(readAll(errors).find("WebEngineContext"), std::string::npos) << call;
    }
    EXPECT_EQ(quillet("--timeout abc " + page + " PageTitle").status, 2);
    EXPECT_EQ(quillet("--timeout --verbose " + page + " PageTitle").status, 2);
    EXPECT_EQ(quillet("--rule --verbose " + page + " PageTitle").status, 2);
    EXPECT_EQ(quillet("--bogus " + page + " PageTitle").status, 2);
    tvtest::CommandResult help = quillet("- GetCellText --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out, "usage: quillet (URL | -) GetCellText TableNo RowNo CellNo\n");
    // In range, the numbers reach the member as they are.
    EXPECT_EQ(quillet(tvtest::shellQuote(page) + " GetCellText 1 1 1").out, "a\n");
    EXPECT_EQ(quillet("- GE_CutToSentences 'One. Two. Three.' 32767").out, "One. Two. Three.\n");
}

TEST(QuilletProgram, APageThatGivesNoAnswerIsAFailureNotAnEmptyResult) {
    tvtest::TempDir dir;
    std::string errors = dir / "errors.txt";
    const std::string page = tablePage(dir);
    // The members that need no page answer after one that got none.
    tvtest::CommandResult r = quillet(tvtest::shellQuote(page) +
                                          " RunScript 'while (true) {}' --then GE_FullTrim ' kept '"
                                          " --then GetTableCount --then IsConnected",
                                      errors);
    EXPECT_EQ(r.status, 1);
    // The empty result, said to be no answer:
    EXPECT_TRUE(r.out == "kept\n0\nTrue\n" || r.out == "kept\n0\nFalse\n") << r.out;
    EXPECT_NE(readAll(errors).find("quillet: RunScript: the page did not answer within 10 s"),
              std::string::npos)
        << readAll(errors);
    EXPECT_NE(readAll(errors).find("quillet: GetTableCount: the page did not answer within 10 s"),
              std::string::npos)
        << readAll(errors);
    EXPECT_EQ(readAll(errors).find("GE_FullTrim:"), std::string::npos) << readAll(errors);
    EXPECT_EQ(readAll(errors).find("IsConnected:"), std::string::npos) << readAll(errors);
}
