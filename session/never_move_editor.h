#pragma once

#include "store/never_move.h"

#include <optional>
#include <string>
#include <vector>

namespace tv {

class Prompter;

// The never-move list as the "Never Move" tab and `tessvane-cli never-move`
// edit it: the list the scans and runs match, the lines being edited,
// whether they are saved, and the file as it was last read or written here
// (so that a change made elsewhere is told from our own).
class NeverMoveEditor {
public:
    NeverMoveEditor(std::string programFolder, Prompter& prompter);

    // Reads the list's file; unsaved edits stay in the lines.
    void load();
    // What scans and runs match.
    const NeverMoveList& list() const { return m_list; }
    // The lines shown (lstNM) and whether they hold edits not saved yet (Label8).
    const std::vector<std::string>& lines() const { return m_lines; }
    bool changed() const { return m_changed; }

    // "Add": false (with its message) when the text is shorter than 3 characters.
    bool add(const std::string& text);
    // "Remove Selected": with exactly one line selected the current line goes,
    // otherwise every selected line.
    void remove(const std::vector<int>& selected, int current);
    // Lines put in place whole (unsaved until save()).
    void setLines(std::vector<std::string> lines);
    // Writes the lines to the file and reads it back; false (with `error`)
    // when it cannot be written, the edits kept. The caller holds the lock.
    bool save(std::string* error);
    // Appends `name` to the file (when it lacks it) and to unsaved edits, so
    // that saving them later keeps it. The caller holds the lock.
    bool appendName(const std::string& name, std::string* error);

    // The file no longer holds what it held when it was last read or written
    // here (an editor or tessvane-cli changed it).
    bool changedOnDisk() const;
    // The file read again, dropping unsaved edits.
    void reload();
    // The file as it now stands counts as seen: the edits are kept and the
    // next save writes them over it.
    void keepEdits();
    // The list's file.
    std::string path() const;

private:
    std::string m_programFolder;
    Prompter& m_prompter;
    NeverMoveList m_list;
    std::vector<std::string> m_lines;
    bool m_changed = false;
    std::optional<std::string> m_onDisk; // the file when last read or written
};

} // namespace tv
