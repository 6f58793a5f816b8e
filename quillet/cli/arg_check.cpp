#include "arg_check.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace quillet::cli {

namespace {

enum class Kind { Text, Short, Int, Flag, FormRef, Rule };

struct Param {
    std::string name;
    bool optional = false;
};

// The kind of each parameter name the members use; any other name is text.
Kind kindOf(const std::string& name) {
    static const char* const shorts[] = {"TimeoutSeconds", "ParagraphNumber",  "WordInstance",
                                         "Instance",       "TableNo",          "RowNo",
                                         "CellNo",         "WithinCharacters", "CutToSentence"};
    static const char* const ints[] = {"MinimumLength", "PictureWidth", "PictureHeight",
                                       "TypeToRemove", "ConvertType"};
    static const char* const flags[] = {"OpenInBrowserWindow", "IncludeTags", "UseHTML",
                                        "Maximised",           "IncludeWord", "SnipTags",
                                        "Automatic",           "Skip"};
    auto in = [&](const auto& list) {
        return std::any_of(std::begin(list), std::end(list),
                           [&](const char* n) { return name == n; });
    };
    if (in(shorts)) return Kind::Short;
    if (in(ints)) return Kind::Int;
    if (in(flags)) return Kind::Flag;
    if (name == "Form") return Kind::FormRef;
    if (name == "Rule") return Kind::Rule;
    return Kind::Text;
}

std::vector<Param> parameters(const std::string& usage) {
    std::string line = usage.substr(0, usage.find('('));
    std::vector<Param> out;
    size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ') {
            ++i;
            continue;
        }
        Param p;
        if (line[i] == '[') {
            size_t end = line.find(']', i);
            if (end == std::string::npos) end = line.size();
            std::string inner = line.substr(i + 1, end - i - 1);
            p.name = inner.substr(0, inner.find('='));
            p.optional = true;
            i = end + 1;
        } else {
            size_t end = line.find(' ', i);
            if (end == std::string::npos) end = line.size();
            p.name = line.substr(i, end - i);
            i = end;
        }
        out.push_back(p);
    }
    return out;
}

bool wholeNumber(const std::string& t, long long min, long long max) {
    if (t.empty() || t.size() > 20) return false;
    size_t start = t[0] == '-' || t[0] == '+' ? 1 : 0;
    if (start == t.size()) return false;
    for (size_t k = start; k < t.size(); ++k)
        if (!std::isdigit(static_cast<unsigned char>(t[k]))) return false;
    errno = 0;
    long long n = std::strtoll(t.c_str(), nullptr, 10);
    return errno == 0 && n >= min && n <= max;
}

bool isFlag(std::string t) {
    for (char& c : t)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* f : {"true", "false", "yes", "no", "1", "0", "-1"})
        if (t == f) return true;
    return false;
}

bool isRuleType(std::string t) {
    static const char* const names[] = {"invalidtext",       "removetext",  "removedate",
                                        "removetextbetween", "cutatstring", "changetoheadlinecase",
                                        "replacetext"};
    if (wholeNumber(t, 1, 7)) return true;
    for (char& c : t)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return std::any_of(std::begin(names), std::end(names), [&](const char* n) { return t == n; });
}

} // namespace

std::string checkArguments(const std::string& usage, const std::vector<std::string>& args) {
    const std::vector<Param> params = parameters(usage);
    const size_t required = static_cast<size_t>(
        std::count_if(params.begin(), params.end(), [](const Param& p) { return !p.optional; }));
    if (args.size() < required) return "too few arguments";
    if (args.size() > params.size()) return "too many arguments";
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& name = params[i].name;
        const std::string& a = args[i];
        switch (kindOf(name)) {
        case Kind::Text:
            break;
        case Kind::Short:
            if (!wholeNumber(a, SHRT_MIN, SHRT_MAX))
                return name + " must be a whole number from -32768 to 32767, not '" + a + "'";
            break;
        case Kind::Int:
            if (!wholeNumber(a, INT_MIN, INT_MAX))
                return name + " must be a whole number, not '" + a + "'";
            break;
        case Kind::Flag:
            if (!isFlag(a)) return name + " must be True or False, not '" + a + "'";
            break;
        case Kind::FormRef:
            // A form by its position or by its name; a position must fit.
            if (!a.empty() &&
                std::all_of(a.begin(), a.end(),
                            [](char c) {
                                return std::isdigit(static_cast<unsigned char>(c)) || c == '-';
                            }) &&
                !wholeNumber(a, INT_MIN, INT_MAX))
                return "Form must be a position or a name, not '" + a + "'";
            break;
        case Kind::Rule:
            if (!isRuleType(a)) return "unknown rule type '" + a + "'";
            break;
        }
    }
    return {};
}

} // namespace quillet::cli
