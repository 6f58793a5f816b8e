// Build helper: creates the empty undo log that ships with the program.
#include "store/undo_log.h"

#include <cstdio>
#include <filesystem>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_undo_db FILE\n");
        return 2;
    }
    std::error_code ec;
    std::filesystem::remove(argv[1], ec);
    std::string error;
    if (!tv::createUndoDatabase(argv[1], &error)) {
        std::fprintf(stderr, "make_undo_db: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
