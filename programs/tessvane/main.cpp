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

int main(int argc, char** argv) {
    // Said without a display, before anything of the window starts.
    if (cmdline::asksForVersion({argv + 1, argv + argc})) {
        std::cout << cmdline::versionLine("tessvane") << '\n';
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
