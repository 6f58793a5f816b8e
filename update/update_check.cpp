#include "update_check.h"

#include "platform/text_util.h"

#include <cstdlib>

#ifndef TESSVANE_UPDATE_SERVER
#define TESSVANE_UPDATE_SERVER "https://www.example.org"
#endif
#ifndef TESSVANE_VERSION_MAJOR
#define TESSVANE_VERSION_MAJOR 1
#define TESSVANE_VERSION_MINOR 0
#endif

namespace tv {

namespace {

// The next number of a version text, from `pos` to the next dot; 0 when the
// text has no more parts. A part too long for a number compares by its digits.
std::string_view nextPart(std::string_view text, size_t& pos) {
    if (pos >= text.size()) return {};
    size_t dot = text.find('.', pos);
    std::string_view part = text.substr(pos, dot == std::string_view::npos ? dot : dot - pos);
    pos = dot == std::string_view::npos ? text.size() : dot + 1;
    while (part.size() > 1 && part.front() == '0')
        part.remove_prefix(1);
    return part == "0" ? std::string_view() : part;
}

} // namespace

int compareVersions(std::string_view a, std::string_view b) {
    size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        std::string_view x = nextPart(a, i), y = nextPart(b, j);
        // Leading zeros are gone, so a longer number is a larger one.
        if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
        if (int c = x.compare(y); c != 0) return c < 0 ? -1 : 1;
    }
    return 0;
}

bool isVersionText(std::string_view text) {
    if (text.empty()) return false;
    bool digit = false;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            digit = true;
        } else if (c == '.' && digit) {
            digit = false;
        } else {
            return false;
        }
    }
    return digit;
}

std::string runningVersion() {
    return std::to_string(TESSVANE_VERSION_MAJOR) + "." + std::to_string(TESSVANE_VERSION_MINOR);
}

const char* const kNoUpdateServerText = "No update server is set for this build.";

bool updateServerIsSet() {
    std::string placeholder = "https://www.example.org";
    const std::string server = updateServer();
    return !server.empty() && server != placeholder;
}

std::string updateServer() {
    const char* url = std::getenv("TESSVANE_UPDATE_URL");
    std::string server = url && *url ? url : TESSVANE_UPDATE_SERVER;
    while (!server.empty() && server.back() == '/')
        server.pop_back();
    return server;
}

bool isWebAddress(std::string_view text) {
    std::string lower = toLower(text.substr(0, 8));
    size_t scheme = lower.rfind("https://", 0) == 0 ? 8 : lower.rfind("http://", 0) == 0 ? 7 : 0;
    if (scheme == 0 || text.size() <= scheme) return false;
    // One address, nothing a shell or a browser would read as more.
    for (char c : text)
        if (static_cast<unsigned char>(c) <= ' ' || c == '"' || c == '\'' || c == '<' || c == '>')
            return false;
    return true;
}

std::string UpdateResult::sentence() const {
    switch (state) {
    case State::NoUpdate:
        return "No updates are currently available.";
    case State::Failed:
        return "The update server could not be reached or gave no version.";
    case State::Update:
        if (address.empty())
            return "Version " + version + " is available, but no download address could be read.";
        return "Version " + version + " is available.  Click the link below:";
    }
    return {};
}

std::string plainDescription(std::string_view text) {
    // Line breaks stay (as LF); every other control character is written
    // out, so the server's text cannot steer a terminal or a window.
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') continue;
            out += '\n';
        } else if (c == '\n') {
            out += c;
        } else {
            out += escapeControls(std::string_view(&text[i], 1));
        }
    }
    return out;
}

UpdateResult checkForUpdate(PageSource& pages, const std::string& server,
                            const std::string& running) {
    UpdateResult r;
    if (!pages.OpenSite(server + "/vb/vercheck/ver.txt", 60)) return r;
    r.version = pages.GetTextBetweenText("TessvaneVerStart", "TessvaneVerEnd");
    r.description =
        plainDescription(pages.GetTextBetweenText("TessvaneVerInfoStart", "TessvaneVerInfoEnd"));
    if (r.version.empty()) return r; // no version on the page: a failed check
    if (!isVersionText(r.version) || compareVersions(r.version, running) <= 0) {
        r.state = UpdateResult::State::NoUpdate;
        return r;
    }
    r.state = UpdateResult::State::Update;
    if (pages.OpenSite(server + "/vb/vercheck/download.txt", 60)) {
        std::string address = pages.GetTextBetweenText("TessvaneStart", "TessvaneEnd");
        if (isWebAddress(address)) r.address = address;
    }
    return r;
}

} // namespace tv
