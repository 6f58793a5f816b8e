#include "man_page.h"

#include <cctype>
#include <sstream>

namespace cmdline {

namespace {

size_t indentOf(const std::string& line) {
    const size_t at = line.find_first_not_of(' ');
    return at == std::string::npos ? line.size() : at;
}

std::string trimmed(const std::string& s) {
    const size_t a = s.find_first_not_of(' ');
    if (a == std::string::npos) return {};
    return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

void appendWords(std::string& to, const std::string& words) {
    if (words.empty()) return;
    if (!to.empty()) to += ' ';
    to += words;
}

bool isMetaWord(const std::string& w) {
    if (w.empty() || !std::isupper(static_cast<unsigned char>(w[0]))) return false;
    for (char c : w)
        if (!std::isupper(static_cast<unsigned char>(c)) &&
            !std::isdigit(static_cast<unsigned char>(c)) && c != '_')
            return false;
    return true;
}

bool isWordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.' ||
           c == '*' || c == '&' || c == '/';
}

std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
    }
    return out;
}

// Reads the help line by line into its parts.
class Reader {
public:
    explicit Reader(HelpText& out) : m_out(out) {}

    void line(const std::string& raw) {
        const std::string line = raw.substr(0, raw.find_last_not_of(" \r") + 1);
        if (m_inSynopsis) {
            if (line.rfind("usage: ", 0) == 0) {
                m_synopsisIndent = 7;
                m_out.synopsis.push_back(trimmed(line.substr(7)));
                return;
            }
            if (!line.empty() && indentOf(line) >= m_synopsisIndent && m_synopsisIndent > 0) {
                // A line aligned under the synopsis: another form of the call,
                // or one that goes on (it does not name the program again).
                const std::string text = trimmed(line);
                if (text.rfind(programName() + ' ', 0) == 0 || text == programName())
                    m_out.synopsis.push_back(text);
                else
                    appendWords(m_out.synopsis.back(), text);
                return;
            }
            m_inSynopsis = false;
        }
        if (line.empty()) return endBlock();
        const size_t indent = indentOf(line);
        if (indent == 0) return paragraphLine(line);
        m_paragraph = nullptr;
        if (indent <= 2) return newEntry(line.substr(indent));
        if (!m_entry) return;
        const std::string text = trimmed(line);
        if (m_termGoesOn && text.front() == '[') {
            appendWords(m_entry->term, text);
            return;
        }
        m_termGoesOn = false;
        appendWords(m_entry->text, text);
    }

    void endBlock() {
        m_entry = nullptr;
        m_paragraph = nullptr;
        m_termGoesOn = false;
    }

private:
    std::string programName() const {
        const std::string& first = m_out.synopsis.front();
        return first.substr(0, first.find(' '));
    }

    void paragraphLine(const std::string& line) {
        m_entry = nullptr;
        static const std::string kExit = "Exit status:";
        if (line.rfind(kExit, 0) == 0) {
            m_paragraph = &m_out.exitStatus;
            appendWords(*m_paragraph, trimmed(line.substr(kExit.size())));
            return;
        }
        if (!m_paragraph) {
            m_out.notes.emplace_back();
            m_paragraph = &m_out.notes.back();
        }
        appendWords(*m_paragraph, line);
    }

    void newEntry(const std::string& line) {
        // The text beside the term starts after a gap of two spaces or more.
        const size_t gap = line.find("  ");
        ManEntry entry;
        entry.term = trimmed(line.substr(0, gap));
        if (gap != std::string::npos) entry.text = trimmed(line.substr(gap));
        m_termGoesOn = gap == std::string::npos;
        const bool command = std::islower(static_cast<unsigned char>(entry.term.front()));
        auto& list = command ? m_out.commands : m_out.options;
        list.push_back(std::move(entry));
        m_entry = &list.back();
    }

    HelpText& m_out;
    bool m_inSynopsis = true, m_termGoesOn = false;
    size_t m_synopsisIndent = 0;
    ManEntry* m_entry = nullptr;
    std::string* m_paragraph = nullptr;
};

std::string synopsisSection(const HelpText& help) {
    if (help.synopsis.empty()) return {};
    std::string out = ".SH SYNOPSIS\n";
    for (size_t i = 0; i < help.synopsis.size(); ++i) {
        const std::string& form = help.synopsis[i];
        const size_t space = form.find(' ');
        if (i) out += ".br\n";
        out += ".B " + roffText(form.substr(0, space)) + '\n';
        if (space != std::string::npos) out += roffTerm(form.substr(space + 1)) + '\n';
    }
    return out;
}

std::string entriesSection(const char* heading, const std::vector<ManEntry>& entries,
                           const std::vector<std::string>& notes = {}) {
    if (entries.empty() && notes.empty()) return {};
    std::string out = std::string(".SH ") + heading + '\n';
    for (const auto& e : entries)
        out += ".TP\n" + roffTerm(e.term) + '\n' + roffText(e.text) + '\n';
    for (const auto& note : notes)
        out += ".PP\n" + roffText(note) + '\n';
    return out;
}

std::string replaced(std::string text, const std::string& mark, const std::string& by) {
    for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + by.size()))
        text.replace(at, mark.size(), by);
    return text;
}

} // namespace

HelpText readHelpText(const std::string& help) {
    HelpText out;
    Reader reader(out);
    std::istringstream in(help);
    for (std::string line; std::getline(in, line);)
        reader.line(line);
    return out;
}

std::string roffText(const std::string& text) {
    std::string out = escaped(text);
    if (!out.empty() && (out.front() == '.' || out.front() == '\'')) out.insert(0, "\\&");
    return out;
}

std::string roffTerm(const std::string& term) {
    std::string out;
    for (size_t at = 0; at < term.size();) {
        if (!isWordChar(term[at])) {
            out += escaped(std::string(1, term[at++]));
            continue;
        }
        size_t end = at;
        while (end < term.size() && isWordChar(term[end]))
            ++end;
        std::string word = term.substr(at, end - at);
        at = end;
        // "NAME...", "FILE.uz2...": the dots that say "more of them" stay plain.
        std::string tail;
        while (!word.empty() && word.back() == '.') {
            tail += '.';
            word.pop_back();
        }
        const size_t dot = word.find('.');
        const std::string stem = word.substr(0, dot);
        if (isMetaWord(stem))
            out += "\\fI" + escaped(stem) + "\\fR" +
                   (dot == std::string::npos ? "" : escaped(word.substr(dot)));
        else if (!word.empty())
            out += "\\fB" + escaped(word) + "\\fR";
        out += tail;
    }
    if (!out.empty() && (out.front() == '.' || out.front() == '\'')) out.insert(0, "\\&");
    return out;
}

std::string manPage(const std::string& templ, const HelpText& help, const std::string& version,
                    const std::string& date) {
    std::string out;
    std::istringstream in(templ);
    for (std::string line; std::getline(in, line);) {
        if (line == "@SYNOPSIS@")
            out += synopsisSection(help);
        else if (line == "@COMMANDS@")
            out += entriesSection("COMMANDS", help.commands);
        else if (line == "@OPTIONS@")
            out += entriesSection("OPTIONS", help.options, help.notes);
        else if (line == "@EXIT_STATUS@")
            out += help.exitStatus.empty() ? ""
                                           : ".SH EXIT STATUS\n" + roffText(help.exitStatus) + '\n';
        else
            out += replaced(replaced(line, "@VERSION@", version), "@DATE@", date) + '\n';
    }
    return out;
}

} // namespace cmdline
