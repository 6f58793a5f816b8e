#include "web_pages.h"

#include "internet_connection.h"

#include "platform/text_util.h"

#include <quillet/web_parser.h>

#include <QApplication>
#include <QLoggingCategory>

#include <algorithm>
#include <ostream>

namespace tv {

WebParserPages::WebParserPages()
    : m_deadline(std::chrono::steady_clock::now() + std::chrono::seconds(kTotalSeconds)) {
}
WebParserPages::~WebParserPages() = default;

bool WebParserPages::OpenSite(const std::string& address, short timeoutSeconds) {
    const auto left = std::chrono::duration_cast<std::chrono::seconds>(
                          m_deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) return false; // the check's time is used up
    if (!m_parser) {
        m_parser = std::make_unique<quillet::WebParser>();
        m_parser->SetPageScriptsEnabled(false);
        m_parser->SetWebAddressesOnly(true);
        m_parser->SetDocumentTextLimit(kTextLimit);
        m_parser->SetRendererMemoryLimit(kRendererMegabytes);
    }
    const auto seconds = static_cast<short>(std::min<long long>(timeoutSeconds, left));
    return m_parser->OpenSite(address, seconds, false);
}

void WebParserPages::abort() {
    if (m_parser) m_parser->StopLoading();
}

std::string WebParserPages::GetTextBetweenText(const std::string& start, const std::string& end) {
    return m_parser ? m_parser->GetTextBetweenText(start, end, false, 1, false) : std::string();
}

int checkUpdateCommand(std::ostream& out, std::ostream& err) {
    // The browser needs an application; a command line has none of its own.
    std::unique_ptr<QApplication> app;
    // Qt's and the browser's own notes are not the command's output.
    QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    struct Restore {
        QtMessageHandler handler;
        ~Restore() { qInstallMessageHandler(handler); }
    } restore{previous};
    if (!QCoreApplication::instance()) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
            qEnvironmentVariableIsEmpty("DISPLAY") &&
            qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false\n"
                                                        "qt.webenginecontext.debug=false"));
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
        static int argc = 1;
        static char name[] = "tessvane-cli";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<QApplication>(argc, argv);
    }
    if (!updateServerIsSet()) {
        err << "Tessvane: " << kNoUpdateServerText << '\n';
        return 1;
    }
    if (!CInternetConnection().Connected()) {
        err << "Tessvane: Connect to the internet before checking for updates.\n";
        return 1;
    }
    UpdateResult result;
    {
        WebParserPages pages;
        result = checkForUpdate(pages, updateServer(), runningVersion());
    }
    if (result.state == UpdateResult::State::Failed) {
        err << "Tessvane: " << result.sentence() << '\n';
        return 1;
    }
    out << result.sentence() << '\n';
    if (result.state == UpdateResult::State::NoUpdate) return 0;
    // What the server sent never steers the terminal.
    // Its line breaks are the description's own (a lone CR is shown escaped).
    out << escapeControlsKeepingLines(result.description) << '\n'
        << escapeControls(result.address) << '\n';
    return 10;
}

} // namespace tv
