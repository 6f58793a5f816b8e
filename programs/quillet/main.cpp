#include "quillet_cli.h"

#include <QApplication>
#include <QLoggingCategory>

#include <iostream>

int main(int argc, char** argv) {
    // Without a display the browser still works, off screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The browser's start-up report is not the program's output.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false\n"
                                                    "qt.webenginecontext.debug=false"));
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    return quillet::runQuilletCli(args, std::cout, std::cerr);
}
