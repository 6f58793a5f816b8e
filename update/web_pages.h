#pragma once

#include "update_check.h"

#include <memory>

namespace quillet {
class WebParser;
}

namespace tv {

// The update check's pages through Quillet's browser (a QApplication must
// exist). The browser is made on the first load and released with the object.
class WebParserPages : public PageSource {
public:
    WebParserPages();
    ~WebParserPages() override;
    bool OpenSite(const std::string& address, short timeoutSeconds) override;
    std::string GetTextBetweenText(const std::string& start, const std::string& end) override;
    void abort() override;

private:
    std::unique_ptr<quillet::WebParser> m_parser;
};

// tessvane-cli check-update: the result sentence, then, with an update, its
// description and download address on lines of their own. 0 no update, 10 an
// update, 1 the check failed (the reason on `err`).
int checkUpdateCommand(std::ostream& out, std::ostream& err);

} // namespace tv
