#pragma once

#include "ui/prompter.h"

#include <deque>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tv {

// A scripted Prompter: records every text and answers from queues. An empty
// answer queue answers No to questions and cancels choosers.
class RecordingPrompter : public Prompter {
public:
    struct Shown {
        std::string kind; // "message", "question", "folder", "files"
        std::string text;
        std::string title;
        MessageIcon icon = MessageIcon::None;
    };

    void message(const std::string& text, const std::string& title, MessageIcon icon) override;
    bool question(const std::string& text, const std::string& title, MessageIcon icon) override;
    Choice choose(const std::string& text, const std::string& title) override;
    std::string browseForFolder(const std::string& title) override;
    std::vector<std::string> chooseFiles(const FileRequest& request) override;
    int chooseFromList(const ListRequest& request) override;
    bool isWindow(int64_t handle) const override;

    std::vector<Shown> shown;
    std::deque<int> picks;          // chooseFromList's answers; empty: kChoseNothing
    std::vector<ListRequest> lists; // every list offered, in order
    std::deque<bool> answers;
    std::function<void()> onQuestion; // called as a question is asked
    std::deque<Choice> choices;       // empty: Cancel
    std::deque<std::string> folders;
    std::deque<std::vector<std::string>> files;
    std::vector<FileRequest> requests; // every file request, in order
    // The handles isWindow accepts; every handle when not set.
    std::optional<std::set<int64_t>> windows;

    std::vector<std::string> messageTexts() const;
};

class RecordingShell : public Shell {
public:
    bool openInEditor(const std::string& path) override;
    bool openDocument(const std::string& pathOrUrl) override;
    bool startProgram(const std::string& program) override;
    std::vector<std::string> opened; // "editor:<path>", "open:<what>" or "start:<program>"
    bool handlerExists = true;       // false: the desktop has nothing to open it with
};

class RecordingSoundPlayer : public SoundPlayer {
public:
    void play(const std::string& wavFile) override { played.push_back(wavFile); }
    std::vector<std::string> played;
};

} // namespace tv
