// The argument layer the three command lines share.
#include "args/command_line.h"

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
