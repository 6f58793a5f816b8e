// Links, pictures, tables, forms and frames of pages served on 127.0.0.1
// (and, for a frame of another origin, the same server as localhost).
#include <quillet/net_connection.h>
#include <quillet/web_parser.h>

#include "page_server.h"

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <unistd.h>

using namespace quillet;

namespace {

const std::map<std::string, std::string> kPages = {
    {"/links", R"(<html><head><title>Links</title></head><body>
<p>News: <a href="/Story/1">First Story</a> and <a href="/two">Second Story</a></p>
<p>Elsewhere <a href="/advert">Buy now</a> <a href="/three">first story</a> <a>no address</a></p>
<a href="/pic"><img src="/a.png" alt=" Logo " width="40" height="30"></a>
<img src="/b.png" alt="Photo" width="40" height="30">
<img src="/c.png" alt="logo" width="10" height="20">
</body></html>)"},
    {"/tables", R"(<html><head><title>Tables</title></head><body>
<table><tr><td>A1</td><td> 	</td><td>C1</td></tr><tr><td>A2</td></tr></table>
<table><tr><th>x</th><td>y</td><td>Price</td></tr></table>
</body></html>)"},
    {"/form", R"(<html><head><title>Form</title></head><body>
<form name="search" action="/results" method="get">
<input type="search" name="q">
<input type="text" name="who" value="it's">
<input type="password" name="pw" value="secret">
<textarea name="note">hello</textarea>
<input type="radio" name="size" value="s"><input type="radio" name="size" value="m">
<input type="radio" name="size" value="l">
<input type="checkbox" name="agree">
<input type="checkbox" name="tags" value="red" checked><input type="checkbox" name="tags" value="blue">
<select name="color"><option>Red</option><option selected>Green</option></select>
<select name="many" multiple><option>One</option><option selected>Two</option></select>
<input type="hidden" name="secret" value="h">
<input type="submit" name="submit" value="Go">
</form>
<form name="other" action="/nowhere" onsubmit="return false;">
<input type="text" name="q" value="second"><input type="submit"></form>
</body></html>)"},
    {"/results", "<html><head><title>Results</title></head><body>found</body></html>"},
    {"/busy", "<html><head><title>Busy</title></head><body>busy"
              "<script>setTimeout(function () { for (;;) {} }, 300);</script></body></html>"},
    {"/slowform", "<html><head><title>Slow form</title></head><body>"
                  "<form action='/slow'><input name='q'></form></body></html>"},
    {"/frames", R"(<html><head><title>Frames</title></head><frameset cols="20%,60%,20%">
<frame name="menu" src="/menu"><frame name="mainframe" src="/main">
<frame name="ads" src="http://localhost:{PORT}/menu"></frameset></html>)"},
    {"/home.html", R"(<html><head><title>Home</title></head><frameset cols="50%,50%">
<frame src="/menu"><frame name="right" src="/main"></frameset></html>)"},
    {"/iframes", R"(<html><head><title>Iframes</title></head><body>
<iframe name="inner" src="/main"></iframe><iframe src="/menu"></iframe></body></html>)"},
    {"/menu", "<html><head><title>Menu</title></head><body>menu</body></html>"},
    {"/main", R"(<html><head><title>Main</title></head><body>
<table><tr><td>in the frame</td></tr></table>
<form action="/results"><input name="q"></form></body></html>)"},
};

class PageStructure : public ::testing::Test {
protected:
    PageServer server{kPages};
    WebParser parser;
    PageStructure() { NetConnection::SetConnectionState(true); }
    ~PageStructure() override { NetConnection::SetConnectionState(std::nullopt); }
    void open(const std::string& path) { ASSERT_TRUE(parser.OpenSite(server.url(path), 20)); }
};

} // namespace

TEST_F(PageStructure, NothingIsReadWithoutAUsableDocument) {
    std::vector<Links> links{{"kept?", "no"}};
    parser.GrabLinks(links);
    EXPECT_TRUE(links.empty());
    EXPECT_EQ(parser.GetTableCount(), 0);
    EXPECT_EQ(parser.GetCellDump(), "");
    EXPECT_EQ(parser.GetFormDump(), "");
    EXPECT_FALSE(parser.FramesExist());
    EXPECT_EQ(parser.FramesMainPage(), "");
    EXPECT_FALSE(parser.FormSubmit());
    EXPECT_EQ(parser.GetLinkInText("x").URL, "");
}

TEST_F(PageStructure, LinksWithRules) {
    open("/links");
    std::vector<Links> links;
    parser.GrabLinks(links);
    ASSERT_EQ(links.size(), 5u); // an anchor without an address is no link
    EXPECT_EQ(links[4].URL, server.url("/pic"));
    EXPECT_EQ(links[0].Byline, "First Story");
    EXPECT_EQ(links[0].URL, server.url("/Story/1"));
    EXPECT_EQ(links[2].Byline, "Buy now");

    // A rewriting rule changes bylines, never addresses; an invalid text
    // in either drops the link.
    parser.RulesAdd(ReplaceText, "all", "Story", "Tale");
    parser.RulesAdd(InvalidText, "127.0.0.1", "advert");
    parser.RulesAdd(InvalidText, "example.org", "Second"); // another site
    parser.GrabLinks(links);
    ASSERT_EQ(links.size(), 4u);
    EXPECT_EQ(links[0].Byline, "First Tale");
    EXPECT_EQ(links[0].URL, server.url("/Story/1"));
    EXPECT_EQ(links[1].Byline, "Second Tale");
    EXPECT_EQ(links[2].URL, server.url("/three"));

    EXPECT_EQ(parser.GetURLFromText(" FIRST STORY "), server.url("/Story/1"));
    EXPECT_EQ(parser.GetURLFromText("first story", 2), server.url("/three"));
    EXPECT_EQ(parser.GetURLFromText("first story", 3), "");
    EXPECT_EQ(parser.GetURLFromText("first story", 0), "");

    Links inText = parser.GetLinkInText("ELSEWHERE");
    EXPECT_EQ(inText.Byline, "Buy now");
    EXPECT_EQ(parser.GetLinkInText("elsewhere", 2).URL, server.url("/three"));
    EXPECT_EQ(parser.GetLinkInText("elsewhere", 3).URL, ""); // the anchor without an address
    EXPECT_EQ(parser.GetLinkInText("news:", 2).Byline, "Second Story");
    EXPECT_EQ(parser.GetLinkInText("not on the page").Byline, "");
}

TEST_F(PageStructure, Pictures) {
    open("/links");
    std::vector<Pictures> pictures;
    parser.GrabPictures(pictures);
    ASSERT_EQ(pictures.size(), 3u);
    EXPECT_EQ(pictures[0].URL, server.url("/a.png"));
    EXPECT_EQ(pictures[0].Text, " Logo ");
    EXPECT_EQ(pictures[0].Width, 40);
    EXPECT_EQ(pictures[0].Height, 30);
    EXPECT_EQ(pictures[0].LinkTo, server.url("/pic"));
    EXPECT_EQ(pictures[1].LinkTo, "");

    EXPECT_EQ(parser.GetPictureByName("LOGO").URL, server.url("/a.png"));
    EXPECT_EQ(parser.GetPictureByName("logo ", 2).URL, server.url("/c.png"));
    EXPECT_EQ(parser.GetPictureByName("logo", 0).URL, "");
    EXPECT_EQ(parser.GetPictureByDimensions(40, 30, 2).Text, "Photo");
    EXPECT_EQ(parser.GetPictureByDimensions(30, 40).URL, ""); // width first
    EXPECT_EQ(parser.GetPictureByLink(" " + server.url("/pic")).Text, " Logo ");
}

TEST_F(PageStructure, Tables) {
    open("/tables");
    EXPECT_EQ(parser.GetTableCount(), 2);
    EXPECT_EQ(parser.GetRowCount(1), 2);
    EXPECT_EQ(parser.GetRowCount(3), 0);
    EXPECT_EQ(parser.GetCellCount(1, 1), 3);
    EXPECT_EQ(parser.GetCellCount(1, 2), 1);
    EXPECT_EQ(parser.GetCellText(1, 1, 1), "A1");
    EXPECT_EQ(parser.GetCellText(2, 1, 3), "Price");
    EXPECT_EQ(parser.GetCellText(0, 1, 1), "");
    EXPECT_EQ(parser.GetCellText(1, 0, 1), "");
    EXPECT_EQ(parser.GetCellText(1, 1, 0), "");
    EXPECT_EQ(parser.GetRowCount(0), 0);
    EXPECT_EQ(parser.GetCellDump(), "<Table 1, Row 1, Cell 1:> A1\r\n"
                                    "<Table 1, Row 1, Cell 3:> C1\r\n"
                                    "<Table 1, Row 2, Cell 1:> A2\r\n"
                                    "<Table 2, Row 1, Cell 1:> x\r\n"
                                    "<Table 2, Row 1, Cell 2:> y\r\n"
                                    "<Table 2, Row 1, Cell 3:> Price\r\n");
}

TEST_F(PageStructure, FormFieldsReadAndSet) {
    open("/form");
    EXPECT_EQ(parser.GetFormDump(), "<Form 1, Type 'text', Field 'q', Value '{empty}'>\r\n"
                                    "<Form 1, Type 'text', Field 'who', Value 'it's'>\r\n"
                                    "<Form 1, Type 'password', Field 'pw', Value 'secret'>\r\n"
                                    "<Form 1, Type 'textarea', Field 'note', Value 'hello'>\r\n"
                                    "<Form 1, Type 'radio', Field 'size', Value '4'>\r\n"
                                    "<Form 1, Type 'checkbox', Field 'agree', Value 'False'>\r\n"
                                    "<Form 1, Type 'checkbox', Field 'tags', Value "
                                    "'{special array}'>\r\n"
                                    "<Form 1, Type 'select-one', Field 'color', Value 'Green'>\r\n"
                                    "<Form 1, Type 'select-multiple', Field 'many', Value "
                                    "'{empty}'>\r\n"
                                    "<Form 2, Type 'text', Field 'q', Value 'second'>\r\n");

    // Radio group: none checked gives the group size plus one.
    EXPECT_EQ(parser.FormFieldGet("size"), "4");
    parser.FormFieldSet("size", "2");
    EXPECT_EQ(parser.FormFieldGet("size"), "2");
    parser.FormFieldSet("size", "9"); // no such button
    parser.FormFieldSet("size", "large");
    EXPECT_EQ(parser.FormFieldGet("size"), "2");

    EXPECT_EQ(parser.FormFieldGet("agree"), "False");
    parser.FormFieldSet("agree", "True");
    EXPECT_EQ(parser.FormFieldGet("agree"), "True");
    EXPECT_EQ(parser.FormFieldGet("tags", "red"), "True");
    EXPECT_EQ(parser.FormFieldGet("tags", "blue"), "False");
    parser.FormFieldSet("tags", "true", "blue");
    parser.FormFieldSet("tags", "0", "red");
    EXPECT_EQ(parser.FormFieldGet("tags", "blue"), "True");
    EXPECT_EQ(parser.FormFieldGet("tags", "red"), "False");

    // Text-like fields, with a value that must not break out of the script.
    const std::string hostile = "it's \"quoted\" </script><b>'); alert(1); ('";
    parser.FormFieldSet("q", hostile);
    EXPECT_EQ(parser.FormFieldGet("q"), hostile);
    parser.FormFieldSet("note", "line one\nline two");
    EXPECT_EQ(parser.FormFieldGet("note"), "line one\nline two");
    EXPECT_EQ(parser.FormFieldGet("pw"), "secret");

    EXPECT_EQ(parser.FormFieldGet("color"), "Green");
    parser.FormFieldSet("color", "RED");
    EXPECT_EQ(parser.FormFieldGet("color"), "Red");
    EXPECT_EQ(parser.FormFieldGet("many", "two"), "True");
    parser.FormFieldSet("many", "True", "one");
    EXPECT_EQ(parser.FormFieldGet("many", "ONE"), "True");

    EXPECT_EQ(parser.FormFieldGet("secret"), ""); // hidden: not a field we handle
    EXPECT_EQ(parser.FormFieldGet("nosuchfield"), "");

    // A form by number or by name, the name compared with the form's in upper case.
    EXPECT_EQ(parser.FormFieldGet("q", "#N/A#", 2), "second");
    EXPECT_EQ(parser.FormFieldGet("q", "#N/A#", "OTHER"), "second");
    EXPECT_EQ(parser.FormFieldGet("q", "#N/A#", "other"), "");
    EXPECT_EQ(parser.FormFieldGet("q", "#N/A#", 3), "");
}

TEST_F(PageStructure, SubmitWaitsForTheResults) {
    open("/form");
    parser.FormFieldSet("q", "a b&c", "#N/A#", "SEARCH");
    ASSERT_TRUE(parser.FormSubmit("SEARCH", 20));
    EXPECT_EQ(parser.PageTitle(), "Results");
    EXPECT_NE(parser.PageURL().find("q=a+b%26c"), std::string::npos) << parser.PageURL();
    EXPECT_EQ(parser.PageURL().rfind(server.url("/results?"), 0), 0u);
}

TEST_F(PageStructure, SubmitThatGoesNowhereKeepsThePage) {
    open("/form");
    parser.FormFieldSet("q", "kept", "#N/A#", 2);
    auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(parser.FormSubmit(2, 20));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
    EXPECT_FALSE(parser.FormSubmit("nosuchform", 20));
    EXPECT_EQ(parser.PageTitle(), "Form");
    EXPECT_EQ(parser.FormFieldGet("q", "#N/A#", 2), "kept");
    NetConnection::SetConnectionState(false);
    EXPECT_FALSE(parser.FormSubmit("SEARCH", 20)); // off line
    EXPECT_EQ(parser.PageTitle(), "Form");
}

TEST_F(PageStructure, SubmitWhoseAnswerIsLateFailsInTime) {
    open("/slowform");
    auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(parser.FormSubmit(1, 1));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(4));
    // The page it was leaving is gone: every member says so alike.
    EXPECT_EQ(parser.PageTitle(), "");
    EXPECT_EQ(parser.PageURL(), "");
    EXPECT_EQ(parser.PageText(), "");
    EXPECT_EQ(parser.GetFormDump(), "");
    // The browser is left idle; a new load works as ever.
    open("/results");
    EXPECT_EQ(parser.PageTitle(), "Results");
    EXPECT_EQ(parser.PageURL(), server.url("/results"));
}

TEST_F(PageStructure, AScriptThatNeverEndsAbandonsItsPage) {
    // A loop run through RunScript, and one of the page's own (after its load).
    for (const bool ownScript : {false, true}) {
        SCOPED_TRACE(ownScript ? "the page's own script" : "RunScript");
        open(ownScript ? "/busy" : "/results");
        if (ownScript) {
            // Until the page's timer has started its loop.
            QEventLoop wait;
            QTimer::singleShot(2500, &wait, &QEventLoop::quit);
            wait.exec();
        } else {
            parser.RunScript("while (true) {}");
        }
        auto started = std::chrono::steady_clock::now();
        // The first read waits for the time limit at most; the page is then
        // dropped, and the members after it answer at once, all alike, and
        // all say that the page gave no answer.
        if (!ownScript) {
            EXPECT_TRUE(parser.LastCallFailed()); // RunScript itself
        }
        EXPECT_EQ(parser.PageTitle(), "");
        EXPECT_TRUE(parser.LastCallFailed());
        EXPECT_EQ(parser.LastCallFailure(), "the page did not answer within 10 s");
        EXPECT_EQ(parser.PageURL(), "");
        EXPECT_EQ(parser.GetTableCount(), 0);
        EXPECT_TRUE(parser.LastCallFailed());
        EXPECT_EQ(parser.GetFormDump(), "");
        // Ten seconds each before: these four would have taken forty.
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(25));
        open("/results");
        EXPECT_FALSE(parser.LastCallFailed());
        EXPECT_EQ(parser.PageTitle(), "Results");
        EXPECT_FALSE(parser.LastCallFailed());
    }
}

TEST_F(PageStructure, MembersThatNeedNoPageAnswerWhenThePageIsGivenUp) {
    open("/results");
    parser.RunScript("while (true) {}");
    const std::vector<std::pair<const char*, std::function<bool()>>> calls = {
        {"GE_FullTrim", [&] { return parser.GE_FullTrim("\r\n kept \t") == "kept"; }},
        {"GE_RemoveText", [&] { return parser.GE_RemoveText("a big b", "BIG ") == "a b"; }},
        {"GE_Replace", [&] { return parser.GE_Replace("One two", "TWO", "2") == "One 2"; }},
        {"GE_CutToSentences",
         [&] { return parser.GE_CutToSentences("One. Two. Three.", 2) == "One. Two."; }},
        {"GE_ConvertCase", [&] { return parser.GE_ConvertCase("up", UpperCase) == "UP"; }},
        {"RulesAdd",
         [&] {
             parser.RulesAdd(InvalidText, "all", "advert");
             return true;
         }},
        {"RulesSkip", [&] { return !parser.RulesSkip(); }},
    };
    for (const auto& [name, call] : calls) {
        SCOPED_TRACE(name);
        EXPECT_EQ(parser.PageTitle(), ""); // the page stays given up
        ASSERT_TRUE(parser.LastCallFailed());
        EXPECT_TRUE(call());
        EXPECT_FALSE(parser.LastCallFailed()) << parser.LastCallFailure();
    }
}

namespace {

// The renderer processes this process started: the engine forks them from
// its zygote, a child of this process, so they are its grandchildren.
std::vector<pid_t> rendererProcesses() {
    std::map<pid_t, pid_t> parentOf;
    for (const auto& e : std::filesystem::directory_iterator("/proc")) {
        const std::string name = e.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(e.path() / "stat");
        std::string line;
        std::getline(stat, line);
        size_t close = line.rfind(')');
        if (close == std::string::npos || close + 2 > line.size()) continue;
        std::istringstream rest(line.substr(close + 2));
        char state = 0;
        pid_t parent = 0;
        rest >> state >> parent;
        parentOf[static_cast<pid_t>(std::stol(name))] = parent;
    }
    std::vector<pid_t> found;
    for (const auto& [pid, parent] : parentOf) {
        auto grand = parentOf.find(parent);
        if (grand != parentOf.end() && grand->second == ::getpid()) found.push_back(pid);
    }
    return found;
}

} // namespace

TEST_F(PageStructure, ARendererThatEndsOrGrowsTooLargeFailsTheCallWithTheReason) {
    // Ended from outside (a crash).
    open("/tables");
    const std::vector<pid_t> renderers = rendererProcesses();
    ASSERT_FALSE(renderers.empty());
    for (pid_t pid : renderers)
        ::kill(pid, SIGKILL);
    EXPECT_EQ(parser.GetTableCount(), 0);
    EXPECT_TRUE(parser.LastCallFailed());
    EXPECT_EQ(parser.LastCallFailure(), "the page's renderer ended");
    open("/tables");
    EXPECT_EQ(parser.GetTableCount(), 2);
    EXPECT_FALSE(parser.LastCallFailed());

    // A page's script that takes memory without end meets the bound.
    parser.SetRendererMemoryLimit(300);
    open("/results");
    parser.RunScript("var keep = []; for (;;) keep.push(new Array(1000000).fill(7));");
    EXPECT_TRUE(parser.LastCallFailed());
    EXPECT_EQ(parser.LastCallFailure(), "the page used more than 300 MB of memory");
    EXPECT_EQ(parser.PageTitle(), "");
    EXPECT_TRUE(parser.LastCallFailed());
    open("/results");
    EXPECT_EQ(parser.PageTitle(), "Results");
}

TEST_F(PageStructure, AHugePageIsReadWholeOrSaysItGaveNoAnswer) {
    const std::string words(50 << 20, 'w');
    PageServer big(
        {{"/big", "<html><head><title>Big</title></head><body><p>" + words + "</p></body></html>"},
         {"/five", "<html><head><title>Five</title></head><body><p>" + words.substr(0, 5 << 20) +
                       "</p></body></html>"}});
    // Never an empty text taken for the page's: the page loads and is read
    // whole, or the call says why it got nothing.
    if (parser.OpenSite(big.url("/big"), 60)) {
        const std::string text = parser.PageText();
        if (!parser.LastCallFailed()) {
            EXPECT_EQ(text.size(), words.size());
        } else {
            EXPECT_TRUE(text.empty());
        }
    } else {
        EXPECT_TRUE(parser.LastCallFailed());
        EXPECT_FALSE(parser.LastCallFailure().empty());
    }
    // With a bound on what a query carries, the text is cut, and whole up to it.
    ASSERT_TRUE(parser.OpenSite(big.url("/five"), 60)) << parser.LastCallFailure();
    parser.SetDocumentTextLimit(1000);
    EXPECT_EQ(parser.PageText(), std::string(1000, 'w'));
    EXPECT_FALSE(parser.LastCallFailed());
}

TEST_F(PageStructure, FramesOfBothOrigins) {
    open("/frames");
    EXPECT_TRUE(parser.FramesExist());
    EXPECT_EQ(parser.GetFrameDump(), "Frame 1: menu\r\nFrame 2: mainframe\r\n"
                                     "Frame 3: {site on different domain, access denied}");
    // The frame of another origin cannot be read, so neither can the main page.
    EXPECT_EQ(parser.FramesMainPage(), server.url("/frames") + "?cross_site");

    parser.FrameFocus("ADS"); // its name cannot be read: the focus stays
    EXPECT_EQ(parser.PageTitle(), "Frames");
    parser.FrameFocus("MAINFRAME");
    EXPECT_EQ(parser.PageTitle(), "Main");
    EXPECT_EQ(parser.GetCellText(1, 1, 1), "in the frame");
    EXPECT_FALSE(parser.FramesExist());
    EXPECT_EQ(parser.GetFrameDump(), "");
    EXPECT_EQ(parser.FramesMainPage(), server.url("/main"));
    parser.FrameRevert();
    EXPECT_EQ(parser.PageTitle(), "Frames");
    EXPECT_EQ(parser.GetTableCount(), 0);
}

TEST_F(PageStructure, MainPageOfAFramedSite) {
    // The file name holds "home": every frame qualifies and the last wins.
    open("/home.html");
    EXPECT_EQ(parser.GetFrameDump(), "Frame 1: {none}\r\nFrame 2: right");
    EXPECT_EQ(parser.FramesMainPage(), server.url("/main"));
    // Inline frames only, none called main: the last frame.
    open("/iframes");
    EXPECT_EQ(parser.FramesMainPage(), server.url("/menu"));
    open("/tables");
    EXPECT_EQ(parser.FramesMainPage(), server.url("/tables"));
}

TEST_F(PageStructure, FrameThatGoesAway) {
    open("/iframes");
    parser.FrameFocus("inner");
    EXPECT_EQ(parser.PageTitle(), "Main");
    parser.RunScript("parent.document.querySelector('iframe').remove()");
    EXPECT_EQ(parser.PageTitle(), "Menu"); // the path now leads to the other frame
    parser.RunScript("parent.document.querySelector('iframe').remove()");
    EXPECT_EQ(parser.PageTitle(), ""); // no frame left: unusable
    EXPECT_EQ(parser.GetFormDump(), "");
    parser.FrameRevert();
    EXPECT_EQ(parser.PageTitle(), "Iframes");
}

TEST_F(PageStructure, SubmitInAFrame) {
    open("/frames");
    parser.FrameFocus("mainframe");
    parser.FormFieldSet("q", "framed");
    ASSERT_TRUE(parser.FormSubmit(1, 20));
    EXPECT_EQ(server.lastQuery(), "/results?q=framed");
    // The results belong to the page: the focus is back on its top document.
    EXPECT_EQ(parser.PageTitle(), "Frames");
    parser.FrameFocus("mainframe");
    EXPECT_EQ(parser.PageTitle(), "Results");
}
