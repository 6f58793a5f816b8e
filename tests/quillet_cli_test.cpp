#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>

namespace {

tvtest::CommandResult quillet(const std::string& args) {
    return tvtest::runCommand(std::string("QT_QPA_PLATFORM=offscreen ") + QUILLET_PROGRAM + " " +
                              args + " 2>/dev/null");
}

} // namespace

TEST(QuilletProgram, TextFunctionsWithoutAPage) {
    tvtest::CommandResult r = quillet("- GE_ConvertCase 'news of the day'");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "News of the Day\n");
    EXPECT_EQ(quillet("- GE_SimilarSubjects color colour").out, "True\n");
    EXPECT_EQ(quillet("- GE_RemoveTextBetween 'a (b) c' '(' ')'").out, "a c\t(b)\n");
    EXPECT_EQ(quillet("- GE_CutToSentences 'One. Two. Three.' 2").out, "One. Two.\n");
    EXPECT_EQ(quillet("- GE_ConvertCase x notanumber").status, 2);
    EXPECT_EQ(quillet("- NoSuchMember").status, 2);
}

TEST(QuilletProgram, LocalPageWithARule) {
    // A folder of this test's own: runs at the same time must not share the page.
    tvtest::TempDir dir;
    std::string file = dir / "quillet-cli-page.html";
    std::ofstream(file) << "<html><head><title>Local Title</title></head><body><p>Version [ 2.0 ] "
                           "here</p></body></html>";
    EXPECT_EQ(quillet(file + " PageTitle").out, "Local Title\n");
    EXPECT_EQ(quillet(file + " GetTextBetweenText '[' ']' True").out, "[ 2.0 ]\n");
    EXPECT_EQ(quillet("--rule all,7,Version,Release " + file + " GetParagraph 1 3").out,
              "Release [ 2.0 ] here\n");
    EXPECT_EQ(quillet(file + " RunScript \"document.title = 'Scripted'\"").out, "Scripted\n");
    std::filesystem::remove(file);
    EXPECT_EQ(quillet(file + " PageTitle").status, 1);
}
