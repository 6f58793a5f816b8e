#pragma once

// What Quillet's benchmarks share: one parser with a page loaded on first
// use (ended before the application ends), and a main that sets the browser
// engine up the way a client program does.

#include <quillet/net_connection.h>
#include <quillet/web_parser.h>

#include <QApplication>
#include <QLoggingCategory>

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <unistd.h>

namespace bench {

inline std::unique_ptr<quillet::WebParser>& parserSlot() {
    static std::unique_ptr<quillet::WebParser> parser;
    return parser;
}

// The shared parser, with `page` loaded the first time.
inline quillet::WebParser& parserOn(const std::string& page) {
    auto& parser = parserSlot();
    if (!parser) {
        parser = std::make_unique<quillet::WebParser>();
        parser->OpenSite(page, 60);
    }
    return *parser;
}

inline int runBrowserBenchmarks(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (::geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    quillet::NetConnection::SetConnectionState(true);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    parserSlot().reset();
    return 0;
}

} // namespace bench
