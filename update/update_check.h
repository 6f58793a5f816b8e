#pragma once

#include <string>
#include <string_view>

namespace tv {

// Compares two version texts as numbers, part by part at the dots (a missing
// part counts as 0): 1.10 is newer than 1.9, 1.03 equals 1.3. <0, 0 or >0.
int compareVersions(std::string_view a, std::string_view b);
// Digits in parts separated by single dots ("1", "1.4", "2.0.1").
bool isVersionText(std::string_view text);
// This program's version as the update check compares it: major "." minor.
std::string runningVersion();
// The maker's server: $TESSVANE_UPDATE_URL, else the build's setting.
std::string updateServer();
// false when the server is the placeholder a build gets without a real one:
// then nothing is asked, and the user is told so.
bool updateServerIsSet();
extern const char* const kNoUpdateServerText;
// A description as the server sent it, made plain: line breaks as LF, every
// other control character written as \xNN.
std::string plainDescription(std::string_view text);
// An http or https address, the only kind of download address opened.
bool isWebAddress(std::string_view text);

// Where the update check reads its two pages: a browser in the program, a
// fake in tests.
class PageSource {
public:
    virtual ~PageSource() = default;
    // Loads a page; true when it loaded.
    virtual bool OpenSite(const std::string& address, short timeoutSeconds) = 0;
    // The trimmed text between the first start and end markers (any letter
    // case) of the loaded page, or "".
    virtual std::string GetTextBetweenText(const std::string& start, const std::string& end) = 0;
    // Ends a load under way at once (the program is closing).
    virtual void abort() {}
};

struct UpdateResult {
    enum class State { NoUpdate, Update, Failed };
    State state = State::Failed;
    std::string version;     // the published version
    std::string description; // what it brings
    std::string address;     // the download address; empty unless a web address
    // The sentence the check window and the command line show.
    std::string sentence() const;
};

// Reads the version page (and, when it names a newer version, the download
// page) from `server` and compares the version with `running`.
UpdateResult checkForUpdate(PageSource& pages, const std::string& server,
                            const std::string& running);

} // namespace tv
