#include "text_functions.h"

#include <gtest/gtest.h>

using namespace quillet::text;

// Readable failure messages.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {
const QDate kMonday(2001, 1, 1); // a Monday
QString S(const char* s) {
    return QString::fromUtf8(s);
}
} // namespace

TEST(QuilletDates, OrdinalSuffixes) {
    QStringList got;
    for (int n : {0, 1, 2, 3, 4, 11, 12, 13, 20, 21, 22, 23, 24, 30, 31})
        got << ordinalSuffix(n);
    EXPECT_EQ(got, (QStringList{"", "st", "nd", "rd", "th", "th", "th", "th", "th", "st", "nd",
                                "rd", "th", "th", "st"}));
}

TEST(QuilletDates, SearchTextsInTheirOrder) {
    QStringList t = dateSearchTexts(kMonday);
    ASSERT_EQ(t.size(), 47);
    EXPECT_EQ(t[0], "Monday, January 1st, 2001");
    EXPECT_EQ(t[6], "Monday 1 January 2001");
    EXPECT_EQ(t[7], "Monday 01 January 2001");
    EXPECT_EQ(t[17], "1st,  January 2001"); // a comma and two spaces, as written
    EXPECT_EQ(t[20], "1/1/01");
    EXPECT_EQ(t[31], "01/01/2001");
    EXPECT_EQ(t[34], "01st Jan 2001");
    EXPECT_EQ(t[38], "Mon Jan 1");
    EXPECT_EQ(t[46], "Jan. 1");
}

TEST(QuilletDates, RemovesTodayButNotTomorrow) {
    QString text = "Monday, January 1st, 2001 Results";
    EXPECT_EQ(removeDates(text, 1, 0, kMonday), " Results");
    EXPECT_EQ(removeDates(text, 2, 0, kMonday), text);
    EXPECT_EQ(removeDates(text, 2, 0, kMonday.addDays(-1)), " Results");
    EXPECT_EQ(removeDates(text, 0, 0, kMonday), std::nullopt);
    // The past week: six days back as well.
    EXPECT_EQ(removeDates("Posted December 27, 2000 here", 3, 0, kMonday), "Posted here");
    EXPECT_EQ(removeDates("Posted December 25, 2000 here", 3, 0, kMonday),
              "Posted December 25, 2000 here");
}

TEST(QuilletDates, WithinLimitsTheSearchAndFullStopsCloseUp) {
    EXPECT_EQ(removeDate("1/1/2001 and 1/1/2001", kMonday, 10), " and 1/1/2001");
    EXPECT_EQ(removeDate("Played on January 1, 2001.", kMonday, 0), "Played on.");
    EXPECT_EQ(removeDate("Mon Jan 1 news", kMonday, 0), " news");
}

TEST(QuilletWords, SoundCodesAndComparison) {
    EXPECT_EQ(soundCode("color"), "C460");
    EXPECT_EQ(soundCode("colour"), "C460");
    EXPECT_EQ(soundCode("Football"), soundCode("Futbol"));
    EXPECT_EQ(soundCode("A"), "A000");
    EXPECT_TRUE(similarSubjects("color", "colour"));
    EXPECT_FALSE(similarSubjects("the", "the"));
    EXPECT_FALSE(similarSubjects("", "x"));
    EXPECT_EQ(getCategory("Football results", "Sport Soccer Futbol"), "Futbol");
    EXPECT_EQ(getCategory("Weather today", "Sport Soccer"), "");
}

TEST(QuilletWords, HeadlineCase) {
    EXPECT_EQ(convertCase("THE CAT SAT", 4), "The Cat Sat");
    EXPECT_EQ(convertCase("news of the day", 4), "News of the Day");
    EXPECT_EQ(convertCase("he said \"hello\" (again) o'neil", 4),
              "He said \"Hello\" (Again) O'neil");
    EXPECT_EQ(convertCase("NASA and the iPhone i think", 4), "NASA and the Iphone I Think");
    EXPECT_EQ(convertCase("mIxEd words", 1), "Mixed Words");
    EXPECT_EQ(convertCase("abc", 2), "ABC");
    EXPECT_EQ(convertCase("ABC", 3), "abc");
    EXPECT_EQ(convertCase("abc", 0), "");
}

TEST(QuilletText, TrimsAndEncodes) {
    EXPECT_EQ(fullTrim(QString::fromLatin1("\r\n\t x y \0\b", 11)), "x y");
    EXPECT_EQ(fullTrim(" \r\n "), "");
    EXPECT_EQ(urlEncode("a b&c"), "a%20b%26c");
    EXPECT_EQ(urlEncode("x\ty*+-./@_Z9"), "x%9y*+-./@_Z9");
    EXPECT_EQ(urlEncode(S("é")), "%E9");
}

TEST(QuilletText, RemoveTextBetween) {
    QString removed;
    EXPECT_EQ(removeTextBetween("a (b) c", "(", ")", true, &removed), "a c");
    EXPECT_EQ(removed, "(b)");
    EXPECT_EQ(removeTextBetween("a (b) c", "(", ")", false, &removed), "a () c");
    EXPECT_EQ(removed, "b");
    removed = "untouched";
    EXPECT_EQ(removeTextBetween("a ) b ( c", "(", ")", true, &removed), "a ) b ( c");
    EXPECT_EQ(removed, "untouched");
}

TEST(QuilletText, WordsLinesSpacesSentences) {
    EXPECT_EQ(textBeforeWord("Great news Posted by Bob", "posted by", false), "Great news");
    EXPECT_EQ(textBeforeWord("Great news Posted by Bob", "posted by", true),
              "Great news Posted by");
    EXPECT_EQ(textAfterWord("Great news Posted by Bob", "POSTED BY", false), "Bob");
    EXPECT_EQ(textAfterWord("abc", "zzz", false), "abc");
    EXPECT_EQ(cutIntro("LONDON - Markets rose", 15), "Markets rose");
    EXPECT_EQ(cutIntro(S("PARIS \u2014 AP - Prices fell"), 15), "Prices fell");
    EXPECT_EQ(cutIntro("A long headline with a - late", 15), "A long headline with a - late");
    EXPECT_EQ(removeLines("a\r\nb", " "), "a b");
    EXPECT_EQ(removeLines("a \r\nb", " "), "a b");
    EXPECT_EQ(removeLines("a\r\n\r\nb\r\n", "\r\n"), "a b");
    EXPECT_EQ(removeExcessSpaces("  a    b   c "), "a b c");
    EXPECT_EQ(cutToSentences("One. Two. Three.", 2), "One. Two.");
    EXPECT_EQ(cutToSentences("One. Two", 5), "One. Two.");
    EXPECT_EQ(removeText("Buy NOW, buy now!", "now"), "Buy , buy !");
    EXPECT_EQ(replaceText("Foo foo", "FOO", "bar"), "bar bar");
}

TEST(QuilletText, TextBetweenMarkers) {
    const QString page = "x [ 1.3 ] y";
    EXPECT_EQ(textBetween(page, "[", "]", false, 1), "1.3");
    EXPECT_EQ(textBetween(page, "[", "]", true, 1), "[ 1.3 ]");
    EXPECT_EQ(textBetween(page, "[", "]", false, 2), "");
    EXPECT_EQ(textBetween(page, "[", "]", false, 3), "1.3");
    EXPECT_EQ(textBetween(page, "[", "]", false, 0), "");
    EXPECT_EQ(textBetween("a <b>1</B> <b>2</b>", "<B>", "</b>", false, 2), "2");
    EXPECT_EQ(textBetween("] only [", "[", "]", false, 1), "");
}

// ---- hostile sizes: the results of the straightforward ways, in linear time ----
//
// These run on inputs of several megabytes; the ways they replace took
// minutes to hours on them (the test's time limit ends such a run).

namespace {

// The template filling as first written: every tag tried at every place.
QString fillTagsByTrying(const QString& text,
                         const std::vector<std::pair<QString, QString>>& tags) {
    QString out;
    qsizetype i = 0;
    while (i < text.size()) {
        bool replaced = false;
        for (const auto& [tag, content] : tags) {
            if (tag.isEmpty() || tag.size() > text.size() - i) continue;
            if (QStringView(text).mid(i, tag.size()).compare(tag, Qt::CaseInsensitive) == 0) {
                out += content;
                i += tag.size();
                replaced = true;
                break;
            }
        }
        if (!replaced) out += text[i++];
    }
    return out;
}

// Cutting the intro as first written: a copy of the rest at every dash.
QString cutIntroByCopying(const QString& text, int within) {
    QString t = text;
    for (;;) {
        if (within <= 0) return t;
        qsizetype p = -1;
        for (qsizetype i = 0; i < std::min<qsizetype>(within, t.size()); ++i)
            if (t[i] == QChar(0x2014) || t[i] == '-') {
                p = i;
                break;
            }
        if (p < 0) return t;
        t = fullTrim(t.mid(p + 1));
    }
}

// A text of `n` pieces drawn from `pieces` by a fixed pseudo-random sequence.
QString drawn(const std::vector<QString>& pieces, int n, unsigned seed) {
    QString out;
    for (int i = 0; i < n; ++i) {
        seed = seed * 1103515245u + 12345u;
        out += pieces[(seed >> 16) % pieces.size()];
    }
    return out;
}

} // namespace

TEST(QuilletTemplates, TagsFillAsTheyAlwaysDidOnAnyText) {
    const std::vector<std::pair<QString, QString>> tags = {{"[A]", "one"},
                                                           {"[a]x", "never: [A] comes first"},
                                                           {"[AB]", "two"},
                                                           {"", "empty"},
                                                           {"[", "bracket"},
                                                           {"Straße", "street"},
                                                           {"[ab]", "not: [AB] first"},
                                                           {"B]", "[A]"}};
    const std::vector<QString> pieces = {"[", "A", "a",   "]",    "B",       "b",      "x",
                                         " ", "é", "[A]", "[ab]", "STRASSE", "straße", "\n"};
    for (unsigned seed = 1; seed <= 200; ++seed) {
        const QString text = drawn(pieces, 60, seed);
        const QString filled = fillTagsByTrying(text, tags);
        EXPECT_EQ(fillTags(text, tags), filled) << text.toStdString();
        // A template read a piece at a time: a tag may begin in one piece and
        // end in the next (pieces shorter and longer than the longest tag).
        for (qsizetype size : {1, 2, 5, 7}) {
            TagFiller filler(tags);
            QString out;
            for (qsizetype at = 0; at < text.size(); at += size)
                filler.feed(QStringView(text).mid(at, size), out);
            filler.finish(out);
            EXPECT_EQ(out, filled) << text.toStdString() << " in pieces of " << size;
        }
    }
    EXPECT_EQ(fillTags("[a] [ab] b]", tags), "one two [A]"); // contents are not looked at again
}

TEST(QuilletTemplates, AThousandTagsInTenMegabytes) {
    std::vector<std::pair<QString, QString>> tags;
    for (int i = 0; i < 1000; ++i)
        tags.push_back({"[TAG" + QString::number(i) + "]", "<" + QString::number(i) + ">"});
    QString page;
    while (page.size() < (10 << 20))
        page += "Text [tag7] and [TAG999] then [TAGS] [tag1000] more text. ";
    const QString filled = fillTags(page, tags);
    EXPECT_EQ(filled.left(58), "Text <7> and <999> then [TAGS] [tag1000] more text. Text <");
}

TEST(QuilletTextSizes, CutIntroOnDashesIsTheSameAndLinear) {
    const std::vector<QString> pieces = {"-", " ", "a", QString(QChar(0x2014)), "\t", "bc"};
    for (unsigned seed = 1; seed <= 200; ++seed) {
        const QString text = drawn(pieces, 40, seed);
        for (int within : {0, 1, 3, 15, 100})
            EXPECT_EQ(cutIntro(text, within), cutIntroByCopying(text, within))
                << text.toStdString() << " within " << within;
    }
    QString dashes;
    for (int i = 0; i < (5 << 20) / 2; ++i)
        dashes += "- ";
    EXPECT_EQ(cutIntro(dashes + "end", 15), "end");
}

TEST(QuilletTextSizes, CaseOfLettersThatGrowIsTheSameAndLinear) {
    QString mixed;
    for (int i = 0; i < 5000; ++i)
        mixed += QString::fromUtf8(i % 3 ? "ßİa" : "x\xF0\x9F\x98\x80"); // and a surrogate pair
    EXPECT_EQ(convertCase(mixed, 2), mixed.toUpper());
    EXPECT_EQ(convertCase(mixed, 3), mixed.toLower());
    const QString sharp(5 << 20, QChar(0x00DF));
    EXPECT_EQ(convertCase(sharp, 2).size(), sharp.size() * 2); // ß → SS
    const QString dotted(5 << 20, QChar(0x0130));
    EXPECT_EQ(convertCase(dotted, 3).size(), dotted.size() * 2); // İ → i̇
    EXPECT_EQ(convertCase(dotted, 1).size(), dotted.size() * 2);
}
