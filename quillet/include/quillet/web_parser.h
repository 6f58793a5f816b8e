#pragma once

// Quillet's WebParser turns a web page into an object: it loads the page in a
// hidden browser (Qt WebEngine) and answers questions about it.
//
// A client program needs a running QApplication (create it before the first
// WebParser, on the thread that uses it). Loading waits for the page while
// the application's events keep running.

#include <quillet/types.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace quillet {

// A form by its position on the page (counted from 1) or by its name (the
// form's own name in upper case must equal it).
using FormRef = std::variant<int, std::string>;

class WebParser {
public:
    WebParser();
    ~WebParser();
    WebParser(const WebParser&) = delete;
    WebParser& operator=(const WebParser&) = delete;

    // ---- loading ----------------------------------------------------------------------
    // "Loads a Web page into the parser. Returns True if successful."
    bool OpenSite(const std::string& URL, short TimeoutSeconds = 60, bool LoadPictures = false);
    // Ends a load under way at once (called from an event handler while
    // OpenSite waits); that OpenSite returns false. The next load is not
    // affected.
    void StopLoading();
    // "Loads a search page into the parser, using the specified keywords.
    // Returns True if successful." Every "***" in SpecialURL becomes the
    // encoded keywords.
    bool OpenSearch(const std::string& SpecialURL, const std::string& Keywords,
                    bool OpenInBrowserWindow = false, short TimeoutSeconds = 60,
                    bool LoadPictures = false);

    // ---- the current page --------------------------------------------------------------
    // "Returns a particular paragraph of text from the current page."
    std::string GetParagraph(short ParagraphNumber = 1, int MinimumLength = 95);
    // "Returns a chunk of text appearing before the specified word(s) on the current page."
    std::string GetParagraphBefore(const std::string& BeforeWord, short WordInstance = 1,
                                   short ParagraphNumber = 1, int MinimumLength = 95);
    // "Returns a chunk of text appearing after the specified word(s) on the current page."
    std::string GetParagraphAfter(const std::string& AfterWord, short WordInstance = 1,
                                  short ParagraphNumber = 1, int MinimumLength = 95);
    // "Returns a string appearing between two keywords on the current page."
    std::string GetTextBetweenText(const std::string& OpenTag, const std::string& CloseTag,
                                   bool IncludeTags = false, short Instance = 1,
                                   bool UseHTML = false);
    // "Returns the HTML behind the current page."
    std::string PageHTML();
    // "Returns all text on the current page."
    std::string PageText();
    // "Retrieves the title of the current page."
    std::string PageTitle();
    // "Returns the URL of the current page."
    std::string PageURL();
    // "Displays details of when the page was last updated. Returns a String."
    std::string PageLastUpdated();
    // "Returns the domain of the current page."
    std::string Domain();
    // "Returns the core domain of the current page."
    std::string DomainCore();

    // ---- links and pictures (counted from 1) --------------------------------------------
    // "Retrieves all links from the current page, inserting into the passed
    // Links data type array." Each byline passes through the rules; an
    // address is only tested by the InvalidText rules, never rewritten.
    void GrabLinks(std::vector<Links>& LinkArray);
    // "Retrieves all pictures from the current page, inserting details on
    // each into the passed array."
    void GrabPictures(std::vector<Pictures>& PictureArray);
    // "Returns the URL of an image with a particular text byline."
    Pictures GetPictureByName(const std::string& PictureByline, short Instance = 1);
    // "Returns details of a picture matching the specified dimensions. Of the
    // Pictures data type."
    Pictures GetPictureByDimensions(int PictureWidth, int PictureHeight, short Instance = 1);
    // "Returns details of a picture that links to a particular place. Of the
    // Pictures data type."
    Pictures GetPictureByLink(const std::string& PictureLink, short Instance = 1);
    // "Returns a Links data type containing details of the requested link."
    Links GetLinkInText(const std::string& ParagraphTextClip, short Instance = 1);
    // "Returns the URL of a page link with a particular byline."
    std::string GetURLFromText(const std::string& LinkByline, short Instance = 1);

    // ---- tables (counted from 1) ---------------------------------------------------------
    // "Returns text from a specified cell."
    std::string GetCellText(short TableNo, short RowNo, short CellNo);
    // "Returns the number of rows in a specified table."
    short GetRowCount(short TableNo);
    // "Returns the number of cells in a particular table row."
    short GetCellCount(short TableNo, short RowNo);
    // "Returns the number of tables on a page."
    short GetTableCount();
    // "Returns a text dump of all cell information on the current page."
    std::string GetCellDump();

    // ---- forms ---------------------------------------------------------------------------
    // "Returns a text dump of all form information from the current page."
    std::string GetFormDump();
    // "Allows you to set the value of a particular form field."
    void FormFieldSet(const std::string& FieldName, const std::string& Value,
                      const std::string& Selected = "#N/A#", const FormRef& Form = 1);
    // "Returns the value of a form field."
    std::string FormFieldGet(const std::string& FieldName, const std::string& Selected = "#N/A#",
                             const FormRef& Form = 1);
    // "Submits a form, waits for the results, then returns a boolean value
    // dependant on its success."
    bool FormSubmit(const FormRef& Form = 1, short TimeoutSeconds = 60);

    // ---- frames --------------------------------------------------------------------------
    // "Returns a boolean value depending on whether the current page uses frames."
    bool FramesExist();
    // "Returns the main page URL on a frame-enabled page."
    std::string FramesMainPage();
    // "Returns a list of frame names from the current page."
    std::string GetFrameDump();
    // "Directs the focus of the WebParser functions toward a particular frame."
    void FrameFocus(const std::string& FrameName);
    // "Resets the focus of the WebParser functions back to the main browser page."
    void FrameRevert();

    // ---- rules ---------------------------------------------------------------------------
    // "Adds a rule to the WebParser system."
    void RulesAdd(RuleType Rule, const std::string& Domain = "all",
                  std::optional<std::string> Extra1 = std::nullopt,
                  std::optional<std::string> Extra2 = std::nullopt);
    // "Clears all rules from memory."
    void RulesClear();
    // "Allows the temporary skipping of any setup rules. Boolean property."
    void RulesSkip(bool skip);
    bool RulesSkip() const;

    // ---- text functions ------------------------------------------------------------------
    // "Returns a string with the specified piece of text removed from it."
    std::string GE_RemoveText(const std::string& Text, const std::string& TextToRemove);
    // "Removes the text between two tags."
    std::string GE_RemoveTextBetween(const std::string& Text, const std::string& OpenTag,
                                     const std::string& CloseTag, bool SnipTags = true,
                                     std::string* RemovedText = nullptr);
    // "Returns the passed chunk of text before a specified word."
    std::string GE_GetTextBeforeWord(const std::string& Text, const std::string& Word,
                                     bool IncludeWord = false);
    // "Returns the passed chunk of text after a specified word."
    std::string GE_GetTextAfterWord(const std::string& Text, const std::string& Word,
                                    bool IncludeWord = false);
    // Removes a day's date, written in any of 47 forms; nothing for an unknown type.
    std::optional<std::string> GE_RemoveDates(const std::string& Text, int TypeToRemove = PastWeek,
                                              short WithinCharacters = 0);
    // "Performs a full 'trim' on the passed piece of text, removing all
    // invisible 'white spaces', such as line feeds and other characters."
    std::string GE_FullTrim(const std::string& TrimText);
    // "Strips redundant data from the beginning of a piece of text."
    std::string GE_CutIntro(const std::string& Text, short WithinCharacters = 15);
    std::string GE_Replace(const std::string& Text, const std::string& FindWhat,
                           const std::string& ReplaceWith);
    // "Returns a boolean value depending on whether the two passed strings are
    // similar in subject matter."
    bool GE_SimilarSubjects(const std::string& Words1, const std::string& Words2);
    // "Returns the 'category' that a certain string of text fits into."
    std::string GE_GetCategory(const std::string& Title, const std::string& CategoryList);
    // "Removes all lines in the passed text, reducing the text to one long string of text."
    std::string GE_RemoveLines(const std::string& Text, const std::string& WithString = " ");
    // "Removes all excess spaces both in and around the passed string."
    std::string GE_RemoveExcessSpaces(const std::string& Text);
    // "Cuts a string down to a certain number of sentences."
    std::string GE_CutToSentences(const std::string& Text, short CutToSentence = 1);
    // "Converts a passed piece of text into a particular case."
    std::string GE_ConvertCase(const std::string& Text, int ConvertType = NewsHeadline);

    // ---- the browser window --------------------------------------------------------------
    // "Runs the specified script on the current page." In the page's own
    // world, so it reaches the page's functions. JavaScript, JScript,
    // ECMAScript or an empty language run; any other does nothing. From
    // then on the page's dialogs show while the browser window is visible.
    void RunScript(const std::string& ScriptFunction, const std::string& Language = "JavaScript");
    // "Hides the Web browser window, if open."
    void BrowserHide();
    // "Displays the Web browser window."
    void BrowserShow(const std::string& Title = "> Quillet Browser", bool Maximised = false);
    // "Returns a True if the current Web browser page is ready for manipulation."
    bool BrowserReady();

    // "Returns the current progress of the OpenSite, OpenSearch or FormSubmit functions."
    std::function<void(short ProgressValue, short ProgressMax,
                       const std::string& ProgressPercentage)>
        ProgressChange;

    // ---- bounds and failures (Quillet's own) ------------------------------------------
    // Whether the last call got no answer from the page: the page's scripts
    // did not end within 10 s, its renderer ended (or was ended for using
    // more memory than allowed), or the load or submission did not finish in
    // time. Such a call gives its empty result; this tells "nothing there"
    // from "no answer". A member that needs no page (a GE_ text function, the
    // rules, the settings below, BrowserShow, BrowserHide) always has its
    // answer, whatever became of the page.
    bool LastCallFailed() const;
    // Why, as a sentence ("the page did not answer within 10 s"); empty
    // when the last call got its answer.
    std::string LastCallFailure() const;
    // The most memory a page's renderer may take, in MiB (1024 unless set;
    // 0 for no bound). Past it the renderer is ended, the call fails with
    // the reason, and the next load gets a fresh page.
    void SetRendererMemoryLimit(int Megabytes);
    // The pages' own scripts run (true unless set off). Quillet's queries
    // run either way. Takes effect from the next load.
    void SetPageScriptsEnabled(bool Enabled);
    // Loads follow only http and https addresses when set (a redirect to
    // anything else fails the load); off unless set.
    void SetWebAddressesOnly(bool Only);
    // The most characters a document query carries out of the page (a
    // longer text or HTML is cut there); no bound unless set (-1).
    void SetDocumentTextLimit(int Characters);

    // The parser's inner state; opaque to clients.
    struct Impl;

private:
    std::unique_ptr<Impl> d;
};

} // namespace quillet
