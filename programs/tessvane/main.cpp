#include "args/command_line.h"
#include "args/version.h"
#include "formats/registry_store.h"
#include "platform/program_folder.h"
#include "ui/qt/qt_prompter.h"
#include "window/main_window.h"
#include "window/single_instance.h"

#include <QApplication>
#include <QLoggingCategory>

#include <iostream>
#include <string>
#include <vector>

namespace {

const char* const kUsage =
    "usage: tessvane [--help | --version]\n"
    "\n"
    "Opens the window on the game the settings name (the first start finds the\n"
    "games of this machine, or asks for the game folder). Started while its window\n"
    "is open, it brings that window forward instead.\n"
    "  --help           this help\n"
    "  --version        the version, on one line\n"
    "Exit status: 0 when the window is closed, 1 when a shipped file is missing or\n"
    "no game folder was chosen.\n";

} // namespace

int main(int argc, char** argv) {
    // Said without a display, before anything of the window starts.
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (cmdline::asksForVersion(args)) {
        std::cout << cmdline::versionLine("tessvane") << '\n';
        return 0;
    }
    if (cmdline::asksForHelp(args)) {
        std::cout << kUsage;
        return 0;
    }
    // The update check's browser shares the windows' graphics contexts; its
    // start-up report is not for the user.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false\n"
                                                    "qt.webenginecontext.debug=false"));
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tessvane");
    QApplication::setApplicationVersion(TESSVANE_VERSION);
    // The desktop entry's name: the desktop shows the window with its icon.
    QGuiApplication::setDesktopFileName("org.example.tessvane");
    tv::RegistryStore registry;
    // A window of these settings is open already: it comes forward instead.
    tv::SingleInstance instance(tv::singleInstanceKey(tv::programFolder(), registry.filePath()));
    if (instance.handedToRunning()) return 0;
    tv::QtPrompter prompter;
    tv::QtShell shell;
    tv::MainWindow window(tv::programFolder(), registry, prompter, shell);
    prompter.setParent(&window);
    // A shipped file is missing, or the user left without choosing the game
    // folder (either was said).
    if (!window.startUp()) return 1;
    window.show();
    QObject::connect(&instance, &tv::SingleInstance::raiseRequested, &window, [&window] {
        window.showNormal();
        window.raise();
        window.activateWindow();
    });
    return app.exec();
}
