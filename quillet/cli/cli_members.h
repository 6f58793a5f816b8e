#pragma once

// What the quillet program's members share: their arguments, how results
// print, and the table entry of a member.

#include <quillet/types.h>

#include <functional>
#include <istream>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace quillet {
class WebParser;
}

namespace quillet::cli {

// A member's arguments, read in turn, and what the whole call shares.
struct Args {
    const std::vector<std::string>& v;
    size_t at = 0;
    bool bad = false;     // a usage error: exit status 2
    bool failed = false;  // the member did not do its work: exit status 1
    int transferType = 0; // --transfer-type
    std::istream* in = nullptr;
    std::ostream* err = nullptr;

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
    // A number that must be there.
    long need() {
        if (!more()) bad = true;
        return number(0);
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

inline std::string yesNo(bool b) {
    return b ? "True" : "False";
}

// What a member prints: nothing, or its text (a record or an array already
// made into lines).
using Printed = std::optional<std::string>;

struct Member {
    const char* usage;
    std::function<Printed(WebParser&, Args&)> call;
    // false for a member that never calls the WebParser (FTP, publishing,
    // the connection): the parser's last failure is not its own.
    bool usesParser = true;
};

// A field of a record or an array: tabs, line breaks and backslashes
// escaped, so each record stays one line of tab-separated fields.
inline std::string field(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            out += c;
        }
    }
    return out;
}

inline std::string record(std::initializer_list<std::string> fields) {
    std::string line;
    for (const std::string& f : fields) {
        if (!line.empty() || &f != fields.begin()) line += '\t';
        line += field(f);
    }
    return line;
}

inline std::string linkLine(const Links& l) {
    return record({l.Byline, l.URL});
}
inline std::string pictureLine(const Pictures& p) {
    return record({p.URL, p.Text, std::to_string(p.Height), std::to_string(p.Width), p.LinkTo});
}

// One line per element; an empty array prints nothing.
template <typename T, typename F> Printed lines(const std::vector<T>& items, F line) {
    if (items.empty()) return std::nullopt;
    std::string out;
    for (const T& item : items) {
        if (!out.empty()) out += '\n';
        out += line(item);
    }
    return out;
}

inline short sh(long n) {
    return static_cast<short>(n);
}

// The FTP and publishing members (QuickFTP, PageManager).
void addFtpMembers(std::map<std::string, Member>& table);

} // namespace quillet::cli
