#include "never_move_editor.h"

#include "platform/text_io.h"
#include "ui/prompter.h"

#include <algorithm>

namespace tv {

NeverMoveEditor::NeverMoveEditor(std::string programFolder, Prompter& prompter)
    : m_programFolder(std::move(programFolder)), m_prompter(prompter) {
}

std::string NeverMoveEditor::path() const {
    return neverMoveFilePath(m_programFolder);
}

void NeverMoveEditor::load() {
    m_list.load(path());
    m_onDisk = readFile(path());
    if (!m_changed) m_lines = m_list.entries();
}

bool NeverMoveEditor::add(const std::string& text) {
    if (text.size() < 3) {
        m_prompter.message("Please type the Never Move text before pressing Add...");
        return false;
    }
    m_lines.push_back(text);
    m_changed = true;
    return true;
}

void NeverMoveEditor::remove(const std::vector<int>& selected, int current) {
    auto size = static_cast<int>(m_lines.size());
    if (selected.size() == 1) {
        if (current >= 0 && current < size) m_lines.erase(m_lines.begin() + current);
    } else {
        std::vector<int> sorted(selected);
        std::sort(sorted.rbegin(), sorted.rend());
        for (int i : sorted)
            if (i >= 0 && i < static_cast<int>(m_lines.size())) m_lines.erase(m_lines.begin() + i);
    }
    m_changed = true;
}

void NeverMoveEditor::setLines(std::vector<std::string> lines) {
    m_lines = std::move(lines);
    m_changed = true;
}

bool NeverMoveEditor::save(std::string* error) {
    // A failure keeps the edits in the lines, so nothing typed is lost.
    if (!writeLinesAtomic(path(), m_lines, error)) return false;
    m_changed = false;
    load();
    return true;
}

bool NeverMoveEditor::appendName(const std::string& name, std::string* error) {
    std::vector<std::string> lines = readLines(path()).value_or(std::vector<std::string>{});
    if (std::find(lines.begin(), lines.end(), name) == lines.end()) {
        lines.push_back(name);
        if (!writeLinesAtomic(path(), lines, error)) return false;
    }
    load();
    if (m_changed && std::find(m_lines.begin(), m_lines.end(), name) == m_lines.end())
        m_lines.push_back(name);
    return true;
}

bool NeverMoveEditor::changedOnDisk() const {
    return readFile(path()) != m_onDisk;
}

void NeverMoveEditor::reload() {
    m_changed = false;
    load();
}

void NeverMoveEditor::keepEdits() {
    m_onDisk = readFile(path());
}

} // namespace tv
