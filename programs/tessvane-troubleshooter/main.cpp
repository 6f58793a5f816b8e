#include "troubleshooter/cli/troubleshooter_cli.h"

#ifdef TESSVANE_HAVE_WINDOW
#include "formats/registry_store.h"
#include "troubleshooter/window/troubleshooter_window.h"
#include "ui/qt/qt_prompter.h"

#include <QApplication>
#endif

#include <clocale>
#include <iostream>

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    std::vector<std::string> args(argv + 1, argv + argc);
#ifdef TESSVANE_HAVE_WINDOW
    if (args.empty()) {
        QApplication app(argc, argv);
        // The desktop entry's name: the desktop shows the window with its icon.
        QGuiApplication::setDesktopFileName("org.example.tessvane.troubleshooter");
        tv::RegistryStore registry;
        tv::QtPrompter prompter;
        tv::QtShell shell;
        tv::TroubleshooterWindow window(registry, prompter, shell);
        prompter.setParent(&window);
        // Leaving the folder questions ends the program, having written nothing.
        if (!window.start()) return 1;
        window.show();
        return app.exec();
    }
#endif
    return tv::runTroubleshooterCli(args, std::cout, std::cerr);
}
