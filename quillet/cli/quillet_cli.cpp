#include "quillet_cli.h"

#include <quillet/net_connection.h>
#include <quillet/web_parser.h>

#include <functional>
#include <map>
#include <optional>
#include <sstream>

namespace quillet {

namespace {

struct Args {
    const std::vector<std::string>& v;
    size_t at = 0;
    bool bad = false;

    bool more() const { return at < v.size(); }
    std::string text() {
        if (!more()) {
            bad = true;
            return {};
        }
        return v[at++];
    }
    std::optional<std::string> optText() { return more() ? std::optional(v[at++]) : std::nullopt; }
    long number(long dflt) {
        if (!more()) return dflt;
        const std::string& t = v[at++];
        try {
            size_t used = 0;
            long n = std::stol(t, &used);
            if (used == t.size()) return n;
        } catch (...) {
        }
        bad = true;
        return dflt;
    }
    bool flag(bool dflt) {
        if (!more()) return dflt;
        std::string t = v[at++];
        for (char& c : t)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (t == "true" || t == "1" || t == "-1" || t == "yes") return true;
        if (t == "false" || t == "0" || t == "no") return false;
        bad = true;
        return dflt;
    }
};

std::string yesNo(bool b) {
    return b ? "True" : "False";
}

struct Member {
    const char* usage;
    bool needsPage;
    std::function<std::string(WebParser&, Args&)> call;
};

short sh(long n) {
    return static_cast<short>(n);
}

const std::map<std::string, Member>& members() {
    static const std::map<std::string, Member> table = {
        {"OpenSite",
         {"URL [TimeoutSeconds=60]", false,
          [](WebParser& w, Args& a) {
              std::string url = a.text();
              return yesNo(w.OpenSite(url, sh(a.number(60))));
          }}},
        {"OpenSearch",
         {"SpecialURL Keywords [OpenInBrowserWindow=False] [TimeoutSeconds=60]", false,
          [](WebParser& w, Args& a) {
              std::string url = a.text(), words = a.text();
              bool browser = a.flag(false);
              return yesNo(w.OpenSearch(url, words, browser, sh(a.number(60))));
          }}},
        {"GetParagraph",
         {"[ParagraphNumber=1] [MinimumLength=95]", true,
          [](WebParser& w, Args& a) {
              short n = sh(a.number(1));
              return w.GetParagraph(n, static_cast<int>(a.number(95)));
          }}},
        {"GetParagraphBefore",
         {"BeforeWord [WordInstance=1] [ParagraphNumber=1] [MinimumLength=95]", true,
          [](WebParser& w, Args& a) {
              std::string word = a.text();
              short i = sh(a.number(1)), n = sh(a.number(1));
              return w.GetParagraphBefore(word, i, n, static_cast<int>(a.number(95)));
          }}},
        {"GetParagraphAfter",
         {"AfterWord [WordInstance=1] [ParagraphNumber=1] [MinimumLength=95]", true,
          [](WebParser& w, Args& a) {
              std::string word = a.text();
              short i = sh(a.number(1)), n = sh(a.number(1));
              return w.GetParagraphAfter(word, i, n, static_cast<int>(a.number(95)));
          }}},
        {"GetTextBetweenText",
         {"OpenTag CloseTag [IncludeTags=False] [Instance=1] [UseHTML=False]", true,
          [](WebParser& w, Args& a) {
              std::string o = a.text(), c = a.text();
              bool inc = a.flag(false);
              short inst = sh(a.number(1));
              return w.GetTextBetweenText(o, c, inc, inst, a.flag(false));
          }}},
        {"PageHTML", {"", true, [](WebParser& w, Args&) { return w.PageHTML(); }}},
        {"PageText", {"", true, [](WebParser& w, Args&) { return w.PageText(); }}},
        {"PageTitle", {"", true, [](WebParser& w, Args&) { return w.PageTitle(); }}},
        {"PageURL", {"", true, [](WebParser& w, Args&) { return w.PageURL(); }}},
        {"PageLastUpdated", {"", true, [](WebParser& w, Args&) { return w.PageLastUpdated(); }}},
        {"Domain", {"", true, [](WebParser& w, Args&) { return w.Domain(); }}},
        {"DomainCore", {"", true, [](WebParser& w, Args&) { return w.DomainCore(); }}},
        {"BrowserReady", {"", true, [](WebParser& w, Args&) { return yesNo(w.BrowserReady()); }}},
        {"RunScript",
         {"ScriptFunction [Language=JavaScript]  (prints the page's title afterwards)", true,
          [](WebParser& w, Args& a) {
              std::string script = a.text();
              w.RunScript(script, a.optText().value_or("JavaScript"));
              return w.PageTitle();
          }}},
        {"GE_RemoveText",
         {"Text TextToRemove", false,
          [](WebParser& w, Args& a) {
              std::string t = a.text();
              return w.GE_RemoveText(t, a.text());
          }}},
        {"GE_RemoveTextBetween",
         {"Text OpenTag CloseTag [SnipTags=True]  (prints result<TAB>RemovedText)", false,
          [](WebParser& w, Args& a) {
              std::string t = a.text(), o = a.text(), c = a.text();
              std::string removed;
              std::string r = w.GE_RemoveTextBetween(t, o, c, a.flag(true), &removed);
              return r + "\t" + removed;
          }}},
        {"GE_GetTextBeforeWord",
         {"Text Word [IncludeWord=False]", false,
          [](WebParser& w, Args& a) {
              std::string t = a.text(), word = a.text();
              return w.GE_GetTextBeforeWord(t, word, a.flag(false));
          }}},
        {"GE_GetTextAfterWord",
         {"Text Word [IncludeWord=False]", false,
          [](WebParser& w, Args& a) {
              std::string t = a.text(), word = a.text();
              return w.GE_GetTextAfterWord(t, word, a.flag(false));
          }}},
        {"GE_RemoveDates",
         {"Text [TypeToRemove=3] [WithinCharacters=0]", false,
          [](WebParser& w, Args& a) {
              std::string t = a.text();
              int type = static_cast<int>(a.number(3));
              return w.GE_RemoveDates(t, type, sh(a.number(0))).value_or("");
          }}},
        {"GE_FullTrim",
         {"TrimText", false, [](WebParser& w, Args& a) { return w.GE_FullTrim(a.text()); }}},
        {"GE_CutIntro",
         {"Text [WithinCharacters=15]", false,
          [](WebParser& w, Args& a) {
              std::string t = a.text();
              return w.GE_CutIntro(t, sh(a.number(15)));
          }}},
        {"GE_Replace",
         {"Text FindWhat ReplaceWith", false,
          [](WebParser& w, Args& a) {
              std::string t = a.text(), f = a.text();
              return w.GE_Replace(t, f, a.text());
          }}},
        {"GE_SimilarSubjects",
         {"Words1 Words2", false,
          [](WebParser& w, Args& a) {
              std::string one = a.text();
              return yesNo(w.GE_SimilarSubjects(one, a.text()));
          }}},
        {"GE_GetCategory",
         {"Title CategoryList", false,
          [](WebParser& w, Args& a) {
              std::string t = a.text();
              return w.GE_GetCategory(t, a.text());
          }}},
        {"GE_RemoveLines",
         {"Text [WithString=\" \"]", false,
          [](WebParser& w, Args& a) {
              std::string t = a.text();
              return w.GE_RemoveLines(t, a.optText().value_or(" "));
          }}},
        {"GE_RemoveExcessSpaces",
         {"Text", false, [](WebParser& w, Args& a) { return w.GE_RemoveExcessSpaces(a.text()); }}},
        {"GE_CutToSentences",
         {"Text [CutToSentence=1]", false,
          [](WebParser& w, Args& a) {
              std::string t = a.text();
              return w.GE_CutToSentences(t, sh(a.number(1)));
          }}},
        {"GE_ConvertCase",
         {"Text [ConvertType=4]", false,
          [](WebParser& w, Args& a) {
              std::string t = a.text();
              return w.GE_ConvertCase(t, static_cast<int>(a.number(4)));
          }}},
        {"IsConnected",
         {"  (NetConnection)", false,
          [](WebParser&, Args&) { return yesNo(NetConnection().IsConnected()); }}},
        {"DialInternet",
         {"[Automatic=True]  (NetConnection)", false,
          [](WebParser&, Args& a) { return yesNo(NetConnection().DialInternet(a.flag(true))); }}},
        {"HangupInternet",
         {"  (NetConnection)", false,
          [](WebParser&, Args&) { return yesNo(NetConnection().HangupInternet()); }}},
    };
    return table;
}

std::string usage() {
    std::ostringstream u;
    u << "usage: quillet [--timeout S] [--rule DOMAIN,TYPE[,EXTRA1[,EXTRA2]]]... (URL | -) MEMBER "
         "[ARG...]\n"
         "Loads URL (an address or a local file; \"-\" loads nothing), calls MEMBER of WebParser\n"
         "and prints the result (booleans as True or False). Exit status 1 when the load fails.\n"
         "Rule types: 1 InvalidText, 2 RemoveText, 3 RemoveDate, 4 RemoveTextBetween,\n"
         "5 CutAtString, 6 ChangeToHeadlineCase, 7 ReplaceText.\n\nMembers:\n";
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

} // namespace

int runQuilletCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    short timeout = 60;
    std::vector<std::vector<std::string>> rules;
    size_t i = 0;
    for (; i < args.size(); ++i) {
        if (args[i] == "--help" || args[i] == "-h") {
            out << usage();
            return 0;
        }
        if (args[i] == "--timeout" && i + 1 < args.size()) {
            timeout = static_cast<short>(std::atoi(args[++i].c_str()));
        } else if (args[i] == "--rule" && i + 1 < args.size()) {
            rules.push_back(splitComma(args[++i]));
            if (rules.back().size() < 2) {
                err << "quillet: a rule needs DOMAIN,TYPE\n";
                return 2;
            }
        } else {
            break;
        }
    }
    if (i + 2 > args.size()) {
        err << usage();
        return 2;
    }
    std::string url = args[i];
    std::string name = args[i + 1];
    auto it = members().find(name);
    if (it == members().end()) {
        err << "quillet: unknown member '" << name << "'\n" << usage();
        return 2;
    }
    WebParser parser;
    for (const auto& r : rules) {
        int type = std::atoi(r[1].c_str());
        if (type < 1 || type > 7) {
            err << "quillet: unknown rule type '" << r[1] << "'\n";
            return 2;
        }
        parser.RulesAdd(static_cast<RuleType>(type), r[0],
                        r.size() > 2 ? std::optional(r[2]) : std::nullopt,
                        r.size() > 3 ? std::optional(r[3]) : std::nullopt);
    }
    if (url != "-" && !parser.OpenSite(url, timeout)) {
        err << "quillet: the page could not be loaded: " << url << '\n';
        return 1;
    }
    Args a{args, i + 2};
    std::string result = it->second.call(parser, a);
    if (a.bad || a.more()) {
        err << "quillet: " << name << ' ' << it->second.usage << '\n';
        return 2;
    }
    out << result << '\n';
    return 0;
}

} // namespace quillet
