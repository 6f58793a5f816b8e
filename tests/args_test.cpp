// The argument layer the three command lines share.
#include "args/command_line.h"
#include "args/man_page.h"

#include <gtest/gtest.h>

#include <sstream>

using cmdline::ArgReader;

TEST(ArgumentLayer, ValuesThatLookLikeOptionsAreRefusedAndEveryComplaintIsNamed) {
    std::ostringstream err;
    ArgReader args("prog", {"--to", "--backup", "stray"}, err, " (prog --help)");
    EXPECT_EQ(args.take(), "--to");
    std::string folder;
    EXPECT_FALSE(args.value("--to", "a folder", folder));
    EXPECT_TRUE(folder.empty());
    EXPECT_TRUE(args.failed());
    EXPECT_EQ(err.str(), "prog: --to needs a folder\n");
    // The option that was not taken as a value is still there.
    EXPECT_EQ(args.take(), "--backup");
    std::string value;
    EXPECT_TRUE(args.optionalValue(value));
    EXPECT_EQ(value, "stray");
    EXPECT_TRUE(args.done());
    EXPECT_FALSE(args.optionalValue(value)); // nothing left

    std::ostringstream err2;
    ArgReader other("prog", {"-x", "word", "--ok", "v"}, err2, " (prog --help)");
    other.unexpected(other.take());
    other.unexpected(other.take());
    EXPECT_EQ(err2.str(), "prog: unknown option '-x' (prog --help)\n"
                          "prog: unexpected argument 'word' (prog --help)\n");
    EXPECT_EQ(other.rest(), (std::vector<std::string>{"--ok", "v"}));
}

TEST(ArgumentLayer, TheTableGivesTheUsageAndEachCommandsHelp) {
    cmdline::CommandTable table("prog", "usage: prog COMMAND\n",
                                {{"scan", "  scan     lists\n"}, {"run", "  run      moves\n"}},
                                "Exit status: ...\n");
    EXPECT_EQ(table.usage(),
              "usage: prog COMMAND\n  scan     lists\n  run      moves\nExit status: ...\n");
    ASSERT_NE(table.find("run"), nullptr);
    EXPECT_EQ(table.find("run")->help, "  run      moves\n");
    EXPECT_EQ(table.find("runs"), nullptr);
    EXPECT_TRUE(cmdline::asksForHelp({"a", "-h"}));
    EXPECT_TRUE(cmdline::asksForHelp({"--help"}));
    EXPECT_FALSE(cmdline::asksForHelp({"--helper", "h"}));
}

TEST(ManPage, TheHelpTextBecomesSectionsWithItsTermsMarkedAndItsTextEscaped) {
    const std::string help = "usage: prog [--game DIR|N] COMMAND ...\n"
                             "       prog --version\n"
                             "\n"
                             "  pack FILE.uz2... [--to DIR]\n"
                             "      [--force]\n"
                             "      packs them; .uz2 files\n"
                             "      stay as C:\\Maps\n"
                             "  list [--json]  lists\n"
                             "                 them all\n"
                             "\n"
                             "  --game DIR     the game\n"
                             "Names may be relative;\n"
                             "they are made whole.\n"
                             "Exit status: 0 done,\n"
                             "2 wrong arguments.\n";
    const cmdline::HelpText text = cmdline::readHelpText(help);
    EXPECT_EQ(text.synopsis,
              (std::vector<std::string>{"prog [--game DIR|N] COMMAND ...", "prog --version"}));
    ASSERT_EQ(text.commands.size(), 2u);
    EXPECT_EQ(text.commands[0].term, "pack FILE.uz2... [--to DIR] [--force]");
    EXPECT_EQ(text.commands[0].text, "packs them; .uz2 files stay as C:\\Maps");
    EXPECT_EQ(text.commands[1].term, "list [--json]");
    EXPECT_EQ(text.commands[1].text, "lists them all");
    ASSERT_EQ(text.options.size(), 1u);
    EXPECT_EQ(text.options[0].term, "--game DIR");
    EXPECT_EQ(text.notes,
              (std::vector<std::string>{"Names may be relative; they are made whole."}));
    EXPECT_EQ(text.exitStatus, "0 done, 2 wrong arguments.");

    EXPECT_EQ(cmdline::roffTerm("pack FILE.uz2... [--to DIR|N]"),
              "\\fBpack\\fR \\fIFILE\\fR.uz2... [\\fB\\-\\-to\\fR \\fIDIR\\fR|\\fIN\\fR]");
    EXPECT_EQ(cmdline::roffText(".uz2 files stay as C:\\Maps"), "\\&.uz2 files stay as C:\\eMaps");

    const std::string page = cmdline::manPage(".TH PROG 1 \"@DATE@\" \"Prog @VERSION@\"\n"
                                              "@SYNOPSIS@\n@COMMANDS@\n@OPTIONS@\n@EXIT_STATUS@\n",
                                              text, "1.2.3", "2026-12-09");
    EXPECT_EQ(page.substr(0, page.find('\n')), ".TH PROG 1 \"2026-12-09\" \"Prog 1.2.3\"");
    EXPECT_NE(page.find(".SH SYNOPSIS\n.B prog\n[\\fB\\-\\-game\\fR"), std::string::npos) << page;
    EXPECT_NE(page.find(".br\n.B prog\n\\fB\\-\\-version\\fR\n"), std::string::npos) << page;
    EXPECT_NE(page.find(".SH OPTIONS\n.TP\n\\fB\\-\\-game\\fR \\fIDIR\\fR\nthe game\n.PP\nNames"),
              std::string::npos)
        << page;
    EXPECT_NE(page.find(".SH EXIT STATUS\n0 done, 2 wrong arguments.\n"), std::string::npos);
    // A page without commands has no COMMANDS section at all.
    EXPECT_EQ(cmdline::manPage("@COMMANDS@\n", cmdline::readHelpText("usage: p\n"), "1", "d"), "");
}
