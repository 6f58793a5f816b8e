#include "troubleshooter/troubleshooter_cli.h"

#include <clocale>
#include <iostream>

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    std::vector<std::string> args(argv + 1, argv + argc);
    return tv::runTroubleshooterCli(args, std::cout, std::cerr);
}
