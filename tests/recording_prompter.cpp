#include "recording_prompter.h"

namespace tv {

void RecordingPrompter::message(const std::string& text, const std::string& title,
                                MessageIcon icon) {
    shown.push_back({"message", text, title, icon});
}

bool RecordingPrompter::question(const std::string& text, const std::string& title,
                                 MessageIcon icon) {
    shown.push_back({"question", text, title, icon});
    if (onQuestion) onQuestion();
    if (answers.empty()) return false;
    bool a = answers.front();
    answers.pop_front();
    return a;
}

Choice RecordingPrompter::choose(const std::string& text, const std::string& title) {
    shown.push_back({"choice", text, title, MessageIcon::Question});
    if (choices.empty()) return Choice::Cancel;
    Choice c = choices.front();
    choices.pop_front();
    return c;
}

std::string RecordingPrompter::browseForFolder(const std::string& title) {
    shown.push_back({"folder", "", title, MessageIcon::None});
    if (folders.empty()) return {};
    std::string f = folders.front();
    folders.pop_front();
    return f;
}

std::vector<std::string> RecordingPrompter::chooseFiles(const FileRequest& request) {
    std::string filter;
    for (const auto& f : request.filters)
        filter += (filter.empty() ? "" : "|") + f.description + "|" + f.patterns;
    shown.push_back({"files", filter, request.title, MessageIcon::None});
    requests.push_back(request);
    if (files.empty()) return {};
    auto f = files.front();
    files.pop_front();
    return f;
}

int RecordingPrompter::chooseFromList(const ListRequest& request) {
    shown.push_back({"list", request.text, request.title, MessageIcon::None});
    lists.push_back(request);
    if (picks.empty()) return kChoseNothing;
    int p = picks.front();
    picks.pop_front();
    return p;
}

bool RecordingPrompter::isWindow(int64_t handle) const {
    return !windows || windows->count(handle) > 0;
}

std::vector<std::string> RecordingPrompter::messageTexts() const {
    std::vector<std::string> out;
    for (const auto& s : shown)
        if (s.kind == "message") out.push_back(s.text);
    return out;
}

bool RecordingShell::openInEditor(const std::string& path) {
    opened.push_back("editor:" + path);
    return handlerExists;
}

bool RecordingShell::openDocument(const std::string& pathOrUrl) {
    opened.push_back("open:" + pathOrUrl);
    return handlerExists;
}

bool RecordingShell::startProgram(const std::string& program) {
    opened.push_back("start:" + program);
    return true;
}

} // namespace tv
