#include "quillet_cli.h"

#include "args/command_line.h"

#include "arg_check.h"
#include "cli_members.h"

#include <quillet/net_connection.h>
#include <quillet/web_parser.h>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <sstream>

namespace quillet {

using namespace quillet::cli;

namespace {

// A form by number, or else by name.
FormRef formArg(Args& a) {
    if (!a.more()) return 1;
    std::string t = a.text();
    try {
        size_t used = 0;
        int n = std::stoi(t, &used);
        if (used == t.size()) return n;
    } catch (...) {
    }
    return t;
}

const std::vector<std::string>& ruleNames() {
    static const std::vector<std::string> names = {
        "InvalidText", "RemoveText",           "RemoveDate", "RemoveTextBetween",
        "CutAtString", "ChangeToHeadlineCase", "ReplaceText"};
    return names;
}

// A rule type by number or by name (in any letter case); 0 when unknown.
int ruleType(const std::string& t) {
    for (size_t i = 0; i < ruleNames().size(); ++i) {
        const std::string& name = ruleNames()[i];
        if (t == std::to_string(i + 1) ||
            (t.size() == name.size() &&
             std::equal(t.begin(), t.end(), name.begin(), [](char x, char y) {
                 return std::tolower(static_cast<unsigned char>(x)) ==
                        std::tolower(static_cast<unsigned char>(y));
             })))
            return static_cast<int>(i + 1);
    }
    return 0;
}

// Loading a page, its text and the browser window.
void addPageMembers(std::map<std::string, Member>& t) {
    t.insert({
        {"OpenSite",
         {"URL [TimeoutSeconds=60]",
          [](WebParser& w, Args& a) {
              std::string url = a.text();
              return yesNo(w.OpenSite(url, sh(a.number(60))));
          }}},
        {"OpenSearch",
         {"SpecialURL Keywords [OpenInBrowserWindow=False] [TimeoutSeconds=60]",
          [](WebParser& w, Args& a) {
              std::string url = a.text(), words = a.text();
              bool browser = a.flag(false);
              return yesNo(w.OpenSearch(url, words, browser, sh(a.number(60))));
          }}},
        {"GetParagraph",
         {"[ParagraphNumber=1] [MinimumLength=95]",
          [](WebParser& w, Args& a) {
              short n = sh(a.number(1));
              return w.GetParagraph(n, static_cast<int>(a.number(95)));
          }}},
        {"GetParagraphBefore",
         {"BeforeWord [WordInstance=1] [ParagraphNumber=1] [MinimumLength=95]",
          [](WebParser& w, Args& a) {
              std::string word = a.text();
              short i = sh(a.number(1)), n = sh(a.number(1));
              return w.GetParagraphBefore(word, i, n, static_cast<int>(a.number(95)));
          }}},
        {"GetParagraphAfter",
         {"AfterWord [WordInstance=1] [ParagraphNumber=1] [MinimumLength=95]",
          [](WebParser& w, Args& a) {
              std::string word = a.text();
              short i = sh(a.number(1)), n = sh(a.number(1));
              return w.GetParagraphAfter(word, i, n, static_cast<int>(a.number(95)));
          }}},
        {"GetTextBetweenText",
         {"OpenTag CloseTag [IncludeTags=False] [Instance=1] [UseHTML=False]",
          [](WebParser& w, Args& a) {
              std::string o = a.text(), c = a.text();
              bool inc = a.flag(false);
              short inst = sh(a.number(1));
              return w.GetTextBetweenText(o, c, inc, inst, a.flag(false));
          }}},
        {"PageHTML", {"", [](WebParser& w, Args&) { return w.PageHTML(); }}},
        {"PageText", {"", [](WebParser& w, Args&) { return w.PageText(); }}},
        {"PageTitle", {"", [](WebParser& w, Args&) { return w.PageTitle(); }}},
        {"PageURL", {"", [](WebParser& w, Args&) { return w.PageURL(); }}},
        {"PageLastUpdated", {"", [](WebParser& w, Args&) { return w.PageLastUpdated(); }}},
        {"Domain", {"", [](WebParser& w, Args&) { return w.Domain(); }}},
        {"DomainCore", {"", [](WebParser& w, Args&) { return w.DomainCore(); }}},
        {"BrowserReady", {"", [](WebParser& w, Args&) { return yesNo(w.BrowserReady()); }}},
        {"RunScript",
         {"ScriptFunction [Language=JavaScript]",
          [](WebParser& w, Args& a) -> Printed {
              std::string script = a.text();
              w.RunScript(script, a.optText().value_or("JavaScript"));
              return std::nullopt;
          }}},
        {"BrowserShow",
         {"[Title=\"> Quillet Browser\"] [Maximised=False]",
          [](WebParser& w, Args& a) -> Printed {
              std::string title = a.optText().value_or("> Quillet Browser");
              w.BrowserShow(title, a.flag(false));
              return std::nullopt;
          }}},
        {"BrowserHide",
         {"",
          [](WebParser& w, Args&) -> Printed {
              w.BrowserHide();
              return std::nullopt;
          }}},
    });
}

// Links, pictures and tables.
void addStructureMembers(std::map<std::string, Member>& t) {
    t.insert({
        {"GrabLinks",
         {"  (one line per link: Byline<TAB>URL)",
          [](WebParser& w, Args&) {
              std::vector<Links> links;
              w.GrabLinks(links);
              return lines(links, linkLine);
          }}},
        {"GrabPictures",
         {"  (one line per picture: URL<TAB>Text<TAB>Height<TAB>Width<TAB>LinkTo)",
          [](WebParser& w, Args&) {
              std::vector<Pictures> pictures;
              w.GrabPictures(pictures);
              return lines(pictures, pictureLine);
          }}},
        {"GetPictureByName",
         {"PictureByline [Instance=1]",
          [](WebParser& w, Args& a) -> Printed {
              std::string byline = a.text();
              return pictureLine(w.GetPictureByName(byline, sh(a.number(1))));
          }}},
        {"GetPictureByDimensions",
         {"PictureWidth PictureHeight [Instance=1]",
          [](WebParser& w, Args& a) -> Printed {
              int width = static_cast<int>(a.need());
              int height = static_cast<int>(a.need());
              return pictureLine(w.GetPictureByDimensions(width, height, sh(a.number(1))));
          }}},
        {"GetPictureByLink",
         {"PictureLink [Instance=1]",
          [](WebParser& w, Args& a) -> Printed {
              std::string link = a.text();
              return pictureLine(w.GetPictureByLink(link, sh(a.number(1))));
          }}},
        {"GetLinkInText",
         {"ParagraphTextClip [Instance=1]  (Byline<TAB>URL)",
          [](WebParser& w, Args& a) -> Printed {
              std::string clip = a.text();
              return linkLine(w.GetLinkInText(clip, sh(a.number(1))));
          }}},
        {"GetURLFromText",
         {"LinkByline [Instance=1]",
          [](WebParser& w, Args& a) {
              std::string byline = a.text();
              return w.GetURLFromText(byline, sh(a.number(1)));
          }}},
        {"GetCellText",
         {"TableNo RowNo CellNo",
          [](WebParser& w, Args& a) {
              short t = sh(a.need()), r = sh(a.need()), c = sh(a.need());
              return w.GetCellText(t, r, c);
          }}},
        {"GetRowCount",
         {"TableNo",
          [](WebParser& w, Args& a) {
              short t = sh(a.need());
              return std::to_string(w.GetRowCount(t));
          }}},
        {"GetCellCount",
         {"TableNo RowNo",
          [](WebParser& w, Args& a) {
              short t = sh(a.need()), r = sh(a.need());
              return std::to_string(w.GetCellCount(t, r));
          }}},
        {"GetTableCount",
         {"", [](WebParser& w, Args&) { return std::to_string(w.GetTableCount()); }}},
        {"GetCellDump", {"", [](WebParser& w, Args&) { return w.GetCellDump(); }}},
    });
}

// Forms and frames.
void addFormAndFrameMembers(std::map<std::string, Member>& t) {
    t.insert({
        {"GetFormDump", {"", [](WebParser& w, Args&) { return w.GetFormDump(); }}},
        {"FormFieldSet",
         {"FieldName Value [Selected=#N/A#] [Form=1]  (Form: a number or a name)",
          [](WebParser& w, Args& a) -> Printed {
              std::string name = a.text(), value = a.text();
              std::string selected = a.optText().value_or("#N/A#");
              w.FormFieldSet(name, value, selected, formArg(a));
              return std::nullopt;
          }}},
        {"FormFieldGet",
         {"FieldName [Selected=#N/A#] [Form=1]",
          [](WebParser& w, Args& a) {
              std::string name = a.text();
              std::string selected = a.optText().value_or("#N/A#");
              return w.FormFieldGet(name, selected, formArg(a));
          }}},
        {"FormSubmit",
         {"[Form=1] [TimeoutSeconds=60]",
          [](WebParser& w, Args& a) {
              FormRef form = formArg(a);
              return yesNo(w.FormSubmit(form, sh(a.number(60))));
          }}},
        {"FramesExist", {"", [](WebParser& w, Args&) { return yesNo(w.FramesExist()); }}},
        {"FramesMainPage", {"", [](WebParser& w, Args&) { return w.FramesMainPage(); }}},
        {"GetFrameDump", {"", [](WebParser& w, Args&) { return w.GetFrameDump(); }}},
        {"FrameFocus",
         {"FrameName",
          [](WebParser& w, Args& a) -> Printed {
              w.FrameFocus(a.text());
              return std::nullopt;
          }}},
        {"FrameRevert",
         {"",
          [](WebParser& w, Args&) -> Printed {
              w.FrameRevert();
              return std::nullopt;
          }}},
    });
}

// The rules that keep pages from loading parts of themselves.
void addRuleMembers(std::map<std::string, Member>& t) {
    t.insert({
        {"RulesAdd",
         {"Rule Domain [Extra1] [Extra2]  (Rule: a number or a name, as for --rule)",
          [](WebParser& w, Args& a) -> Printed {
              int type = ruleType(a.text());
              std::string domain = a.text();
              std::optional<std::string> e1 = a.optText(), e2 = a.optText();
              if (type == 0)
                  a.bad = true;
              else
                  w.RulesAdd(static_cast<RuleType>(type), domain, e1, e2);
              return std::nullopt;
          }}},
        {"RulesClear",
         {"",
          [](WebParser& w, Args&) -> Printed {
              w.RulesClear();
              return std::nullopt;
          }}},
        {"RulesSkip",
         {"[Skip]  (prints the setting; with Skip, sets it first)",
          [](WebParser& w, Args& a) {
              if (a.more()) w.RulesSkip(a.flag(false));
              return yesNo(w.RulesSkip());
          }}},
    });
}

// The text functions that take parts out of a text (none needs a page).
void addTextMembers(std::map<std::string, Member>& t) {
    t.insert({
        {"GE_RemoveText",
         {"Text TextToRemove",
          [](WebParser& w, Args& a) {
              std::string t = a.text();
              return w.GE_RemoveText(t, a.text());
          }}},
        {"GE_RemoveTextBetween",
         {"Text OpenTag CloseTag [SnipTags=True]  (prints result<TAB>RemovedText)",
          [](WebParser& w, Args& a) {
              std::string t = a.text(), o = a.text(), c = a.text();
              std::string removed;
              std::string r = w.GE_RemoveTextBetween(t, o, c, a.flag(true), &removed);
              return r + "\t" + removed;
          }}},
        {"GE_GetTextBeforeWord",
         {"Text Word [IncludeWord=False]",
          [](WebParser& w, Args& a) {
              std::string t = a.text(), word = a.text();
              return w.GE_GetTextBeforeWord(t, word, a.flag(false));
          }}},
        {"GE_GetTextAfterWord",
         {"Text Word [IncludeWord=False]",
          [](WebParser& w, Args& a) {
              std::string t = a.text(), word = a.text();
              return w.GE_GetTextAfterWord(t, word, a.flag(false));
          }}},
        {"GE_RemoveDates",
         {"Text [TypeToRemove=3] [WithinCharacters=0]",
          [](WebParser& w, Args& a) {
              std::string t = a.text();
              int type = static_cast<int>(a.number(3));
              return w.GE_RemoveDates(t, type, sh(a.number(0))).value_or("");
          }}},
    });
}

// The text functions that tidy, compare or reshape a text.
void addTextShapingMembers(std::map<std::string, Member>& t) {
    t.insert({
        {"GE_FullTrim",
         {"TrimText", [](WebParser& w, Args& a) { return w.GE_FullTrim(a.text()); }}},
        {"GE_CutIntro",
         {"Text [WithinCharacters=15]",
          [](WebParser& w, Args& a) {
              std::string t = a.text();
              return w.GE_CutIntro(t, sh(a.number(15)));
          }}},
        {"GE_Replace",
         {"Text FindWhat ReplaceWith",
          [](WebParser& w, Args& a) {
              std::string t = a.text(), f = a.text();
              return w.GE_Replace(t, f, a.text());
          }}},
        {"GE_SimilarSubjects",
         {"Words1 Words2",
          [](WebParser& w, Args& a) {
              std::string one = a.text();
              return yesNo(w.GE_SimilarSubjects(one, a.text()));
          }}},
        {"GE_GetCategory",
         {"Title CategoryList",
          [](WebParser& w, Args& a) {
              std::string t = a.text();
              return w.GE_GetCategory(t, a.text());
          }}},
        {"GE_RemoveLines",
         {"Text [WithString=\" \"]",
          [](WebParser& w, Args& a) {
              std::string t = a.text();
              return w.GE_RemoveLines(t, a.optText().value_or(" "));
          }}},
        {"GE_RemoveExcessSpaces",
         {"Text", [](WebParser& w, Args& a) { return w.GE_RemoveExcessSpaces(a.text()); }}},
        {"GE_CutToSentences",
         {"Text [CutToSentence=1]",
          [](WebParser& w, Args& a) {
              std::string t = a.text();
              return w.GE_CutToSentences(t, sh(a.number(1)));
          }}},
        {"GE_ConvertCase",
         {"Text [ConvertType=4]",
          [](WebParser& w, Args& a) {
              std::string t = a.text();
              return w.GE_ConvertCase(t, static_cast<int>(a.number(4)));
          }}},
    });
}

// The network connection.
void addConnectionMembers(std::map<std::string, Member>& t) {
    t.insert({
        {"IsConnected",
         {"  (NetConnection)",
          [](WebParser&, Args&) { return yesNo(NetConnection().IsConnected()); }, false}},
        {"DialInternet",
         {"[Automatic=True]  (NetConnection)",
          [](WebParser&, Args& a) { return yesNo(NetConnection().DialInternet(a.flag(true))); },
          false}},
        {"HangupInternet",
         {"  (NetConnection)",
          [](WebParser&, Args&) { return yesNo(NetConnection().HangupInternet()); }, false}},
    });
}

std::map<std::string, Member> pageMembers() {
    std::map<std::string, Member> t;
    addPageMembers(t);
    addStructureMembers(t);
    addFormAndFrameMembers(t);
    addRuleMembers(t);
    addTextMembers(t);
    addTextShapingMembers(t);
    addConnectionMembers(t);
    return t;
}

const std::map<std::string, Member>& members() {
    static const std::map<std::string, Member> table = [] {
        std::map<std::string, Member> t = pageMembers();
        addFtpMembers(t);
        return t;
    }();
    return table;
}

std::string usage() {
    std::ostringstream u;
    u << "usage: quillet [--timeout S] [--rule DOMAIN,TYPE[,EXTRA1[,EXTRA2]]]... [--verbose]\n"
         "               [--transfer-type ascii|binary|0|1|2]\n"
         "               (URL | -) MEMBER [ARG...] [--then MEMBER [ARG...]]...\n"
         "Loads URL (an address or a local file; \"-\" loads nothing), calls each MEMBER of\n"
         "WebParser in turn on that page and prints its result: texts as they are, booleans\n"
         "as True or False, a record as one line of tab-separated fields, an array as one\n"
         "line per element (a tab, CR, LF or backslash inside a field is written \\t, \\r,\n"
         "\\n or \\\\). A member without a result prints nothing. --verbose also shows the\n"
         "browser engine's own messages. The FTP members take HOST[:PORT]; a password of\n"
         "\"-\" is read from standard input. Exit status: 0 done, 1 the page could not be\n"
         "loaded or a transfer or publication failed, 2 a usage error.\n"
         "Rule types (by number or name):";
    for (size_t i = 0; i < ruleNames().size(); ++i)
        u << (i % 4 == 0 ? "\n  " : ", ") << i + 1 << ' ' << ruleNames()[i];
    u << "\n\nMembers:\n";
    for (const auto& [name, m] : members())
        u << "  " << name << ' ' << m.usage << '\n';
    return u.str();
}

std::vector<std::string> splitComma(const std::string& s) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : s) {
        if (c == ',') {
            out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    out.push_back(cur);
    return out;
}

struct Call {
    std::string name;
    std::vector<std::string> args;
};

} // namespace

namespace {

// The options before the page: its load time, the transfer type, the rules.
struct Options {
    short timeout = 60;
    int transferType = 0;
    std::vector<std::vector<std::string>> rules;
};

// One option (already taken) and its value; false once the reader has
// complained.
bool takeOption(const std::string& a, cmdline::ArgReader& args, Options& o) {
    std::string v;
    if (a == "--transfer-type") {
        if (!args.value(a, "a value", v)) return false;
        for (char& c : v)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (v == "ascii" || v == "1")
            o.transferType = ASCII;
        else if (v == "binary" || v == "2")
            o.transferType = Binary;
        else if (v == "0")
            o.transferType = 0;
        else
            return args.fail("--transfer-type is ascii, binary or 0, 1, 2");
    } else if (a == "--timeout") {
        if (!args.value(a, "a value", v)) return false;
        const std::string why = checkArguments("TimeoutSeconds", {v});
        if (!why.empty()) return args.fail("--timeout: " + why);
        o.timeout = static_cast<short>(std::stoi(v));
    } else if (a == "--rule") {
        if (!args.value(a, "DOMAIN,TYPE", v)) return false;
        o.rules.push_back(splitComma(v));
        if (o.rules.back().size() < 2) return args.fail("a rule needs DOMAIN,TYPE");
        if (ruleType(o.rules.back()[1]) == 0)
            return args.fail("unknown rule type '" + o.rules.back()[1] + "'");
    } else if (a != "--verbose") { // the program's main acts on --verbose
        return args.unexpected(a);
    }
    return true;
}

// The members to call, each with its own arguments ("--then" between them).
bool readCalls(const std::vector<std::string>& words, std::vector<Call>& calls,
               cmdline::ArgReader& args) {
    for (size_t k = 0; k < words.size(); ++k) {
        if (words[k] == "--then" || calls.empty()) {
            if (words[k] == "--then") ++k;
            if (k >= words.size()) return args.fail("--then needs a member");
            if (members().find(words[k]) == members().end())
                return args.fail("unknown member '" + words[k] + "'");
            calls.push_back({words[k], {}});
        } else {
            calls.back().args.push_back(words[k]);
        }
    }
    return true;
}

// Every call's arguments, checked before the page loads or anything is
// sent; a call's "--help" prints its usage instead.
std::optional<int> checkCalls(const std::vector<Call>& calls, std::ostream& out,
                              std::ostream& err) {
    for (const Call& call : calls) {
        const Member& member = members().at(call.name);
        const std::string usageLine = "usage: quillet (URL | -) " + call.name + ' ' + member.usage;
        if (cmdline::asksForHelp(call.args)) {
            out << usageLine << '\n';
            return cmdline::kDone;
        }
        const std::string why = checkArguments(member.usage, call.args);
        if (!why.empty()) {
            err << "quillet: " << call.name << ": " << why << '\n' << usageLine << '\n';
            return cmdline::kUsageError;
        }
    }
    return std::nullopt;
}

// The calls, one after another, on the loaded page.
int makeCalls(WebParser& parser, const std::vector<Call>& calls, const Options& o, std::istream& in,
              std::ostream& out, std::ostream& err) {
    int status = cmdline::kDone;
    for (const Call& call : calls) {
        const Member& member = members().at(call.name);
        Args a{call.args};
        a.transferType = o.transferType;
        a.in = &in;
        a.err = &err;
        Printed result = member.call(parser, a);
        if (a.bad || a.more()) {
            err << "quillet: " << call.name << ' ' << member.usage << '\n';
            return cmdline::kUsageError;
        }
        if (result) out << *result << '\n';
        out.flush();
        if (a.failed) status = cmdline::kNotDone;
        // An empty answer because the page gave none is no answer.
        if (member.usesParser && parser.LastCallFailed()) {
            err << "quillet: " << call.name << ": " << parser.LastCallFailure() << '\n';
            status = cmdline::kNotDone;
        }
    }
    return status;
}

} // namespace

int runQuilletCli(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                  std::ostream& err) {
    cmdline::ArgReader reader("quillet", args, err);
    Options o;
    while (!reader.done() && cmdline::looksLikeOption(reader.peek())) {
        const std::string a = reader.take();
        if (a == "--help") {
            out << usage();
            return cmdline::kDone;
        }
        if (!takeOption(a, reader, o)) return cmdline::kUsageError;
    }
    if (!reader.done() && reader.peek() == "-h") {
        out << usage();
        return cmdline::kDone;
    }
    std::vector<std::string> words = reader.rest();
    if (words.size() < 2) {
        err << usage();
        return cmdline::kUsageError;
    }
    const std::string url = words.front();
    words.erase(words.begin());
    std::vector<Call> calls;
    if (!readCalls(words, calls, reader)) {
        err << usage();
        return cmdline::kUsageError;
    }
    if (auto status = checkCalls(calls, out, err)) return *status;
    WebParser parser; // its browser starts only when a page is loaded
    for (const auto& r : o.rules)
        parser.RulesAdd(static_cast<RuleType>(ruleType(r[1])), r[0],
                        r.size() > 2 ? std::optional(r[2]) : std::nullopt,
                        r.size() > 3 ? std::optional(r[3]) : std::nullopt);
    if (url != "-" && !parser.OpenSite(url, o.timeout)) {
        err << "quillet: the page could not be loaded: " << url;
        if (parser.LastCallFailed()) err << " (" << parser.LastCallFailure() << ')';
        err << '\n';
        return cmdline::kNotDone;
    }
    return makeCalls(parser, calls, o, in, out, err);
}

} // namespace quillet
