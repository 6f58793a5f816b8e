#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tv {

class Prompter;

// The open and save file dialog as an object: the caller sets title, filter,
// flags and owner, calls Show, then reads the chosen file, or walks them with
// FileCount and GetNextFileName. The dialog itself is the prompter's.
class CFileOpenSaveDialog {
public:
    static constexpr uint32_t ErrInvalidWindowHandle = 0x80044435;

    // The dialog's option bits, as callers pass them.
    static constexpr int32_t FlagHideReadOnly = 0x4;
    static constexpr int32_t FlagEnableHook = 0x20; // centring
    static constexpr int32_t FlagAllowMultiSelect = 0x200;
    static constexpr int32_t FlagFileMustExist = 0x1000;
    static constexpr int32_t FlagExplorer = 0x80000;
    static constexpr int32_t FlagLongNames = 0x200000;

    explicit CFileOpenSaveDialog(Prompter& prompter) : m_prompter(prompter) {}

    void Init(const std::string& filter, int defaultFilterIndex = 1,
              const std::string& initialDir = "", const std::string& fileName = "",
              const std::string& dialogTitle = "", int64_t hwndOwner = 0,
              int32_t flags = FlagExplorer | FlagLongNames);

    bool CenterDialog() const { return m_center; }
    void CenterDialog(bool v) { m_center = v; }
    const std::string& DefaultExt() const { return m_defaultExt; }
    void DefaultExt(const std::string& v) { m_defaultExt = v; }
    int DefaultFilter() const { return m_defaultFilter; }
    void DefaultFilter(int v) { m_defaultFilter = v; }
    const std::string& DialogTitle() const { return m_title; }
    void DialogTitle(const std::string& v) { m_title = v; }
    int FileCount() const { return static_cast<int>(m_chosen.size()); }
    const std::string& FileName() const { return m_fileName; }
    void FileName(const std::string& v) { m_fileName = v; }
    const std::string& FileTitle() const { return m_fileTitle; }
    void FileTitle(const std::string& v) { m_fileTitle = v; }
    // "Description|pattern|Description|pattern..."
    const std::string& Filter() const { return m_filter; }
    void Filter(const std::string& v) { m_filter = v; }
    int32_t Flags() const { return m_flags; }
    void Flags(int32_t v) { m_flags = v; }
    int64_t HWndOwner() const { return m_owner; }
    // A positive value that names no window of the program raises
    // "Invalid window handle".
    void HWndOwner(int64_t v);
    const std::string& InitialDir() const { return m_initialDir; }
    void InitialDir(const std::string& v) { m_initialDir = v; }
    // Kept for callers; the chosen names have no length limit.
    int MaxFileSize() const { return m_maxFileSize; }
    void MaxFileSize(int v) { m_maxFileSize = v; }
    const std::string& SelectedPath() const { return m_selectedPath; }

    // The index-th chosen file (1 for the first) as a full path; without an
    // index, or when one file was chosen, FileName.
    std::string GetNextFileName(int index = 0) const;
    // 0 open, 1 save; any other type shows nothing. true when the user chose.
    bool Show(int dialogType);

private:
    Prompter& m_prompter;
    bool m_center = false;
    int32_t m_flags = FlagExplorer | FlagLongNames;
    int m_defaultFilter = 1;
    int m_maxFileSize = 1024;
    int64_t m_owner = 0;
    std::string m_defaultExt, m_title, m_fileName, m_fileTitle, m_filter, m_initialDir,
        m_selectedPath;
    std::vector<std::string> m_chosen; // full paths
};

} // namespace tv
