#include <quillet/net_connection.h>
#include <quillet/web_parser.h>

#include <QApplication>
#include <QLoggingCategory>
#include <QWidget>

#include "page_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

using namespace quillet;

namespace {

const char* const kPage =
    "<html><head><title>Quillet Test</title></head><body>"
    "<h1>Heading</h1>"
    "<p>Version [ 1.3 ] is out.</p>"
    "<p>First long paragraph: the quick brown fox jumps over the lazy dog again and again until it "
    "is tired. Advertisement</p>"
    "<p>Second long paragraph: the quick brown fox jumps over the lazy dog again and again until "
    "it "
    "sleeps.</p>"
    "<p>Marker word here</p>"
    "<p>Third long paragraph: the quick brown fox jumps over the lazy dog again and again until "
    "morning comes.</p>"
    "</body></html>";

const std::map<std::string, std::string> kPages = {
    {"/page", kPage},
    {"/dialogs", "<html><head><title>before</title><script>alert('hi');"
                 "var ok = confirm('sure?'); var p = prompt('name?', 'x');"
                 "document.title = 'after ' + ok + ' ' + p;</script></head>"
                 "<body>x</body></html>"},
    {"/fn", "<html><head><title>fn</title><script>function rename(t) {"
            "document.title = t; }</script></head><body>y</body></html>"},
    {"/nohead", "<body><p>Bare</p></body>"},
    {"/search", "<html><head><title>Results</title></head><body>found</body></html>"},
};

class WebParserTest : public ::testing::Test {
protected:
    PageServer server{kPages};
    WebParser parser;
    WebParserTest() { NetConnection::SetConnectionState(true); }
    ~WebParserTest() override { NetConnection::SetConnectionState(std::nullopt); }
};

} // namespace

TEST_F(WebParserTest, LoadsAPageAndReadsItsProperties) {
    EXPECT_EQ(parser.PageTitle(), ""); // nothing loaded yet
    EXPECT_EQ(parser.GetTextBetweenText("[", "]"), "");
    ASSERT_TRUE(parser.OpenSite(server.url("/page"), 20));
    EXPECT_EQ(parser.PageTitle(), "Quillet Test");
    EXPECT_EQ(parser.PageURL(), server.url("/page"));
    EXPECT_EQ(parser.Domain(), "127.0.0.1");
    EXPECT_EQ(parser.DomainCore(), "127.0.0.1");
    EXPECT_TRUE(parser.BrowserReady());
    std::string text = parser.PageText();
    EXPECT_EQ(text.rfind("Heading\r\n", 0), 0u);
    EXPECT_NE(text.find("Version [ 1.3 ] is out."), std::string::npos);
    std::string html = parser.PageHTML();
    EXPECT_EQ(html.rfind("<HTML>\r\n<HEAD>\r\n<title>Quillet Test</title>\r\n</HEAD>\r\n<body>", 0),
              0u);
    EXPECT_EQ(html.substr(html.size() - 9), "\r\n</HTML>");
    EXPECT_EQ(parser.PageLastUpdated(), "No Date Available");
}

TEST_F(WebParserTest, TextBetweenMarkers) {
    ASSERT_TRUE(parser.OpenSite(server.url("/page"), 20));
    EXPECT_EQ(parser.GetTextBetweenText("[", "]"), "1.3");
    EXPECT_EQ(parser.GetTextBetweenText("[", "]", true), "[ 1.3 ]");
    EXPECT_EQ(parser.GetTextBetweenText("[", "]", false, 2), "");
    EXPECT_EQ(parser.GetTextBetweenText("[", "]", false, 3), "1.3");
    EXPECT_EQ(parser.GetTextBetweenText("<title>", "</title>", false, 1, true), "Quillet Test");
}

TEST_F(WebParserTest, ParagraphsWithRules) {
    ASSERT_TRUE(parser.OpenSite(server.url("/page"), 20));
    EXPECT_EQ(parser.GetParagraph().substr(0, 21), "First long paragraph:");
    EXPECT_EQ(parser.GetParagraph(3).substr(0, 21), "Third long paragraph:");
    EXPECT_EQ(parser.GetParagraph(4), "");
    EXPECT_EQ(parser.GetParagraph(1, 5), "Heading");
    // A site rule drops the advertised paragraph and cuts the others.
    parser.RulesAdd(InvalidText, "127.0.0", "advertisement");
    parser.RulesAdd(CutAtString, "all", "again and again");
    parser.RulesAdd(RemoveText, "example.org", "quick"); // another site: no effect
    EXPECT_EQ(parser.GetParagraph(),
              "Second long paragraph: the quick brown fox jumps over the lazy dog");
    EXPECT_EQ(parser.GetParagraphBefore("marker word"),
              "Second long paragraph: the quick brown fox jumps over the lazy dog");
    EXPECT_EQ(parser.GetParagraphAfter("MARKER WORD"),
              "Third long paragraph: the quick brown fox jumps over the lazy dog");
    EXPECT_EQ(parser.GetParagraphBefore("marker word", 1, 2),
              "First long paragraph: the quick brown fox jumps over the lazy dog again and again "
              "until it is tired. Advertisement"); // the walk ran out: the last candidate
    EXPECT_EQ(parser.GetParagraphAfter("no such words"), "");
    parser.RulesSkip(true);
    EXPECT_EQ(parser.GetParagraph().substr(0, 21), "First long paragraph:");
    parser.RulesSkip(false);
    parser.RulesClear();
    EXPECT_EQ(parser.GetParagraph().substr(0, 21), "First long paragraph:");
}

TEST_F(WebParserTest, TimeoutKeepsThePreviousDocument) {
    ASSERT_TRUE(parser.OpenSite(server.url("/page"), 20));
    auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(parser.OpenSite(server.url("/slow"), 1));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(4));
    EXPECT_EQ(parser.PageTitle(), "Quillet Test");
}

TEST_F(WebParserTest, FailedAddressAndOfflineMachine) {
    EXPECT_FALSE(parser.OpenSite("http://127.0.0.1:1/", 10));
    EXPECT_EQ(parser.PageTitle(), "");
    NetConnection::SetConnectionState(false);
    EXPECT_FALSE(NetConnection().IsConnected());
    EXPECT_FALSE(parser.OpenSite(server.url("/page"), 10));
    // A name of this process's own: runs at the same time must not share the page.
    std::string file = (std::filesystem::temp_directory_path() /
                        ("quillet-local-page-" + std::to_string(::getpid()) + ".html"))
                           .string();
    std::ofstream(file) << "<html><head><title>Local</title></head><body>local text</body></html>";
    EXPECT_TRUE(parser.OpenSite(file, 10));
    EXPECT_EQ(parser.PageTitle(), "Local");
    EXPECT_EQ(parser.Domain(), "");
    std::filesystem::remove(file);
    EXPECT_TRUE(NetConnection().HangupInternet());
    EXPECT_FALSE(NetConnection().DialInternet());
}

TEST_F(WebParserTest, APageThatAsksNeverHoldsTheCallerUp) {
    WebParser parser;
    ASSERT_TRUE(parser.OpenSite(server.url("/dialogs"), 10));
    // The alert was dismissed, the confirmation and the prompt answered no.
    EXPECT_EQ(parser.PageTitle(), "after false null");
}

TEST_F(WebParserTest, RunScriptReachesThePageAndTakesTextAsItIs) {
    WebParser parser;
    ASSERT_TRUE(parser.OpenSite(server.url("/fn"), 10));
    parser.RunScript("rename('from the page')");
    EXPECT_EQ(parser.PageTitle(), "from the page");
    parser.RunScript("document.title = \"it's </script> \\\"q\\\"\"", "");
    EXPECT_EQ(parser.PageTitle(), "it's </script> \"q\"");
    parser.RunScript("document.title = 'not run'", "VBScript");
    EXPECT_EQ(parser.PageTitle(), "it's </script> \"q\"");
    // With the browser window hidden a dialog is still dismissed.
    parser.RunScript("alert('x'); document.title = 'after the alert'", "JScript");
    EXPECT_EQ(parser.PageTitle(), "after the alert");
    parser.RunScript("this is not javascript (");
    EXPECT_EQ(parser.PageTitle(), "after the alert");
}

TEST_F(WebParserTest, ProgressRisesToOneHundred) {
    std::vector<std::string> seen;
    std::vector<short> values;
    parser.ProgressChange = [&](short value, short max, const std::string& text) {
        EXPECT_EQ(max, 100);
        values.push_back(value);
        seen.push_back(text);
    };
    ASSERT_TRUE(parser.OpenSite(server.url("/page"), 20));
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), "100%");
    for (size_t i = 1; i < values.size(); ++i)
        if (values[i] != 0) {
            EXPECT_GT(values[i], values[i - 1]);
        }
}

TEST_F(WebParserTest, LastUpdatedFromTheServersDate) {
    ASSERT_TRUE(parser.OpenSite(server.url("/dated"), 20));
    std::string when = parser.PageLastUpdated();
    EXPECT_NE(when.find("1994"), std::string::npos) << when;
    EXPECT_NE(when.find("November"), std::string::npos) << when;
}

TEST_F(WebParserTest, PageWithoutHeadHasNoHeadBlock) {
    ASSERT_TRUE(parser.OpenSite(server.url("/nohead"), 20));
    EXPECT_EQ(parser.PageHTML().find("<HEAD>"), std::string::npos);
    EXPECT_EQ(parser.PageHTML().rfind("<HTML>\r\n", 0), 0u);
}

TEST_F(WebParserTest, SearchFillsTheEncodedKeywords) {
    EXPECT_FALSE(parser.OpenSearch(server.url("/search?q="), "a b&c"));
    ASSERT_TRUE(parser.OpenSearch(server.url("/search?q=***"), "a b&c", false, 20));
    EXPECT_EQ(server.lastQuery(), "/search?q=a%20b%26c");
    EXPECT_EQ(parser.PageTitle(), "Results");
}

TEST_F(WebParserTest, BrowserWindowShowsOnlyWhenAsked) {
    auto browserWindow = [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "frmBrowser") return w;
        return static_cast<QWidget*>(nullptr);
    };
    QWidget* window = browserWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(window->isVisible());
    ASSERT_TRUE(parser.OpenSite(server.url("/page"), 20));
    EXPECT_FALSE(window->isVisible());
    parser.BrowserShow();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle().toStdString(), "> Quillet Browser");
    parser.BrowserHide();
    EXPECT_FALSE(window->isVisible());
}
