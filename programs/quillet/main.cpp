#include "args/command_line.h"
#include "quiet_stderr.h"
#include "quillet_cli.h"

#include <QApplication>
#include <QLoggingCategory>

#include <algorithm>
#include <iostream>
#include <memory>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    // Said before the browser engine starts.
    if (cmdline::asksForVersion(args)) {
        std::cout << cmdline::versionLine("quillet") << '\n';
        return 0;
    }
    // The browser engine's start-up notes are not the program's output.
    std::unique_ptr<quillet::QuietStandardError> quiet;
    if (std::find(args.begin(), args.end(), "--verbose") == args.end())
        quiet = std::make_unique<quillet::QuietStandardError>();
    std::ostream& err = quiet ? quiet->err() : std::cerr;
    // Without a display the browser still works, off screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (quiet)
        QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false\n"
                                                        "qt.webenginecontext.debug=false"));
    // The engine shares its OpenGL contexts; Qt asks for this before the application exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    return quillet::runQuilletCli(args, std::cin, std::cout, err);
}
