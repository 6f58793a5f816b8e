// make_man TEMPLATE VERSION DATE < HELP > PAGE: a manual page from a
// program's --help text and the page's own prose.
#include "args/man_page.h"

#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: make_man TEMPLATE VERSION DATE < HELP > PAGE\n";
        return 2;
    }
    std::ifstream templ(argv[1], std::ios::binary);
    if (!templ) {
        std::cerr << "make_man: cannot read " << argv[1] << '\n';
        return 1;
    }
    const std::string page((std::istreambuf_iterator<char>(templ)),
                           std::istreambuf_iterator<char>());
    const std::string help((std::istreambuf_iterator<char>(std::cin)),
                           std::istreambuf_iterator<char>());
    const cmdline::HelpText text = cmdline::readHelpText(help);
    if (text.synopsis.empty()) {
        std::cerr << "make_man: the help text has no usage line\n";
        return 1;
    }
    std::cout << cmdline::manPage(page, text, argv[2], argv[3]);
    return std::cout ? 0 : 1;
}
