#pragma once

#include <QDate>
#include <QString>
#include <QTime>

#include <optional>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

// Quillet's text functions on Qt strings. WebParser's GE_ members forward here;
// tests call them directly, with a fixed "today" where dates matter.
namespace quillet::text {

// The six characters a full trim removes: codes 0, 8, 9, 10, 13 and 32.
extern const QString kStandardTrimSet;

QString fullTrim(const QString& text, const QString& characters = kStandardTrimSet);
// Removes spaces (only spaces) from both ends.
QString trimSpaces(const QString& text);
bool containsText(const QString& text, const QString& part);
QString urlEncode(const QString& text);

// ---- dates ------------------------------------------------------------------------
QString ordinalSuffix(int day);
// A date written with the date formatting language (d, dd, ddd, dddd, m, mm,
// mmm, mmmm, yy, yyyy, "/" the locale's date separator, "Long Date",
// "Short Date"), names and forms from the system locale.
QString formatDate(const QDate& date, const QString& pattern);
// A time as "hh:mm ampm" (or "hh:mm:ss ampm"): the hour of twelve with two
// digits, then the locale's AM or PM text.
QString formatTime12(const QTime& time, bool withSeconds);
// The 47 search texts for one date, in their order.
QStringList dateSearchTexts(const QDate& date);
QString removeDate(const QString& text, const QDate& date, int within);
// 1 today, 2 tomorrow, 3 the past week; anything else gives nothing.
std::optional<QString> removeDates(const QString& text, int type, int within, const QDate& today);

// ---- words --------------------------------------------------------------------------
QString soundCode(const QString& word);
struct WordMatch {
    bool found = false;
    QString wordA, wordB;
};
WordMatch compareWords(const QString& a, const QString& b);
bool similarSubjects(const QString& words1, const QString& words2);
QString getCategory(const QString& title, const QString& categoryList);
// 1 proper, 2 upper, 3 lower, 4 news headline; anything else gives "".
QString convertCase(const QString& text, int type);
QString properCase(const QString& text);

// ---- text --------------------------------------------------------------------------
QString removeText(const QString& text, const QString& toRemove);
QString replaceText(const QString& text, const QString& findWhat, const QString& replaceWith);
QString removeTextBetween(const QString& text, const QString& openTag, const QString& closeTag,
                          bool snipTags, QString* removedText);
QString textBeforeWord(const QString& text, const QString& word, bool includeWord);
QString textAfterWord(const QString& text, const QString& word, bool includeWord);
QString cutIntro(const QString& text, int withinCharacters);
QString removeLines(const QString& text, const QString& withString);
QString removeExcessSpaces(const QString& text);
QString cutToSentences(const QString& text, int sentences);
// The text between two markers, as GetTextBetweenText finds it in `source`.
QString textBetween(const QString& source, const QString& openTag, const QString& closeTag,
                    bool includeTags, int instance);

// ---- page templates ----------------------------------------------------------------
using Tags = std::vector<std::pair<QString, QString>>;

// A page template with its tags filled in, in one pass: at each place the
// first tag (in order) that stands there, found without regard to case,
// gives way to its content, and the scan goes on after it; what a tag put
// in is never looked at again. An empty tag is skipped.
QString fillTags(const QString& text, const Tags& tags);

// The same filling for a template that comes a piece at a time, so that a
// large one is never whole in memory: each piece's filled text is appended
// to `out` as far as it is settled; the last characters (fewer than the
// longest tag) wait for the next piece, which may complete a tag.
class TagFiller {
public:
    // `tags` must outlive the filler.
    explicit TagFiller(const Tags& tags);
    TagFiller(const TagFiller&) = delete;
    TagFiller& operator=(const TagFiller&) = delete;

    void feed(QStringView piece, QString& out);
    // After the last piece: the text that waited.
    void finish(QString& out);

private:
    struct Group {
        std::vector<qsizetype> lengths; // ascending
        std::unordered_map<std::u16string_view, size_t> first;
    };
    // The first tag (in order) standing at `at` of a folded text, and its
    // length; the tag count when none does.
    std::pair<size_t, qsizetype> tagAt(QStringView folded, qsizetype at) const;
    // Fills `text` from its start while at least `keep` characters are left
    // to look at; how far it got.
    qsizetype settle(QStringView text, qsizetype keep, QString& out);

    const Tags& m_tags;
    // The tags folded once and grouped by their first character: for each
    // group the lengths its tags have and, for each folded text, the first
    // tag (in order) that has it. At a place of the text only the tags of
    // its character are looked at, one look-up per length.
    std::vector<QString> m_folded;
    std::unordered_map<char16_t, Group> m_groups;
    qsizetype m_longest = 0;
    QString m_waiting; // what the last piece left unsettled
    QString m_fold;    // the text being settled, folded
};

} // namespace quillet::text
