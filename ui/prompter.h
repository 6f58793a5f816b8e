#pragma once

#include "platform/notice.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tv {

// The answer to a question that can also be called off.
enum class Choice { Yes, No, Cancel };

// What a file dialog asks for.
struct FileRequest {
    struct Filter {
        std::string description; // "ZIP Files (*.ZIP)"
        std::string patterns;    // "*.ZIP", several separated by ";"; any letter case matches
    };
    std::string title;
    std::vector<Filter> filters;
    int defaultFilter = 1; // 1 for the first
    bool save = false;     // a save dialog instead of an open dialog
    bool several = false;  // more than one file may be chosen
    bool mustExist = false;
    std::string initialFolder;
    std::string fileName;   // proposed name
    std::string defaultExt; // added to a typed name without one
};

// A choice among the rows of a table: one row, another thing ("Browse..."),
// or nothing (the user leaves).
struct ListRequest {
    std::string text;
    std::string title = "Tessvane";
    std::vector<std::string> headers;
    std::vector<std::vector<std::string>> rows;
    size_t selected = 0;                  // the row selected at first
    std::string chooseLabel = "Use";      // takes the selected row
    std::string otherLabel = "Browse..."; // asks for something not listed
    std::string leaveLabel = "Cancel";
};
// What chooseFromList answers besides a row's index.
constexpr int kChoseOther = -1;
constexpr int kChoseNothing = -2;

// Every message box, question and folder or file chooser of the program goes
// through this interface: windows get a Qt implementation, the command line
// prints and answers from its flags, tests script the answers.
class Prompter {
public:
    virtual ~Prompter() = default;
    virtual void message(const std::string& text, const std::string& title = "Tessvane",
                         MessageIcon icon = MessageIcon::None) = 0;
    // Yes/No question; true for Yes.
    virtual bool question(const std::string& text, const std::string& title = "Tessvane",
                          MessageIcon icon = MessageIcon::Question) = 0;
    // Yes/No/Cancel question; Cancel is the safe answer (Escape, closing the box).
    virtual Choice choose(const std::string& text, const std::string& title = "Tessvane") = 0;
    // Full path of the chosen folder, or empty text when the user cancels.
    virtual std::string browseForFolder(const std::string& title) = 0;
    // Full paths of the chosen files (empty when cancelled); they may come
    // from several folders.
    virtual std::vector<std::string> chooseFiles(const FileRequest& request) = 0;
    // A row's index, kChoseOther or kChoseNothing.
    virtual int chooseFromList(const ListRequest& request) = 0;
    // Whether a window handle names one of the program's windows.
    virtual bool isWindow(int64_t handle) const = 0;
};

// Opens documents and addresses with the desktop's default handlers.
class Shell {
public:
    virtual ~Shell() = default;
    // Opens a text file in the user's editor (the program does not wait).
    virtual bool openInEditor(const std::string& path) = 0;
    // Opens a document, web address or mail link with its default handler.
    virtual bool openDocument(const std::string& pathOrUrl) = 0;
    // Starts a program (a full path) without waiting for it.
    virtual bool startProgram(const std::string& program) = 0;
};

// Plays a sound file without waiting for it; a missing file or no sound
// device is silent.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    virtual void play(const std::string& wavFile) = 0;
};

// Notices from the lower layers shown as this prompter's message boxes.
inline NoticeSink noticesTo(Prompter& prompter) {
    return [&prompter](const Notice& n) { prompter.message(n.text, n.title, n.icon); };
}

} // namespace tv
