#pragma once
// A manual page written from a program's own --help text, so the page says
// what the program says and cannot fall behind it.
//
// The help text's shape, as every program of the project writes it:
//   usage: PROGRAM ...            the synopsis (further lines aligned under it)
//          PROGRAM ...
//                                 a blank line
//     TERM   text                 an entry: an option or a command, its text
//            more text            beside it or below it; a command's
//     command [--opt] ARG         synopsis may go on in a line that starts
//         [--more] ...            with "[" below it
//         text
//   Paragraph text                notes at the left margin; the one that starts
//   Exit status: ...              "Exit status:" is the page's EXIT STATUS
//
// Entries whose term starts with a lower-case word are commands; the others
// (options, "COMMAND --help") are options.

#include <string>
#include <vector>

namespace cmdline {

struct ManEntry {
    std::string term; // "zip [--json] ARCHIVE...", "--game DIR"
    std::string text; // its lines joined by spaces
};

struct HelpText {
    std::vector<std::string> synopsis; // each without "usage: ", the program's name first
    std::vector<ManEntry> commands, options;
    std::vector<std::string> notes; // the paragraphs at the left margin
    std::string exitStatus;         // the "Exit status:" paragraph, without those words
};

HelpText readHelpText(const std::string& help);

// A synopsis or a term in roff: words of capitals (DIR, NAME..., FILE.uz2)
// in italics, everything else that is a word (commands, options) in bold.
std::string roffTerm(const std::string& term);
// Plain text in roff: backslashes and hyphens escaped, a line never starts
// with a control character.
std::string roffText(const std::string& text);

// The template with its marks filled in: @SYNOPSIS@, @COMMANDS@, @OPTIONS@
// and @EXIT_STATUS@ on lines of their own become those sections (with
// their .SH lines; left out when the help has none), @VERSION@ and @DATE@
// anywhere become `version` and `date`.
std::string manPage(const std::string& templ, const HelpText& help, const std::string& version,
                    const std::string& date);

} // namespace cmdline
