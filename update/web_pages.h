#pragma once

#include "update_check.h"

#include <chrono>
#include <memory>

namespace quillet {
class WebParser;
}

namespace tv {

// The update check's pages through Quillet's browser (a QApplication must
// exist). The browser is made on the first load and released with the object.
// A server can send anything, so its pages are read bounded: no page scripts,
// only http and https addresses (redirects included), at most 64 KiB of text
// carried out of a page, the renderer held to 512 MB, and all loads of one
// object together within 30 s.
class WebParserPages : public PageSource {
public:
    static constexpr int kTotalSeconds = 30;
    static constexpr int kTextLimit = 64 * 1024;
    static constexpr int kRendererMegabytes = 512;
    WebParserPages();
    ~WebParserPages() override;
    bool OpenSite(const std::string& address, short timeoutSeconds) override;
    std::string GetTextBetweenText(const std::string& start, const std::string& end) override;
    void abort() override;

private:
    std::unique_ptr<quillet::WebParser> m_parser;
    std::chrono::steady_clock::time_point m_deadline;
};

// tessvane-cli check-update: the result sentence, then, with an update, its
// description and download address on lines of their own. 0 no update, 10 an
// update, 1 the check failed (the reason on `err`).
int checkUpdateCommand(std::ostream& out, std::ostream& err);

} // namespace tv
