#include "file_dialog.h"

#include "platform/cfile.h"
#include "platform/text_io.h"
#include "ui/prompter.h"

namespace tv {

void CFileOpenSaveDialog::Init(const std::string& filter, int defaultFilterIndex,
                               const std::string& initialDir, const std::string& fileName,
                               const std::string& dialogTitle, int64_t hwndOwner, int32_t flags) {
    m_filter = filter;
    m_defaultFilter = defaultFilterIndex;
    m_initialDir = initialDir;
    m_fileName = fileName;
    m_title = dialogTitle;
    HWndOwner(hwndOwner);
    m_flags = flags;
}

void CFileOpenSaveDialog::HWndOwner(int64_t v) {
    if (v > 0 && !m_prompter.isWindow(v))
        throw ComponentError(ErrInvalidWindowHandle, "Invalid window handle",
                             programName() + ".CFileOpenSaveDialog");
    m_owner = v;
}

std::string CFileOpenSaveDialog::GetNextFileName(int index) const {
    if (m_chosen.size() != 1 && index >= 1 && index <= FileCount())
        return m_chosen[static_cast<size_t>(index - 1)];
    return m_fileName;
}

bool CFileOpenSaveDialog::Show(int dialogType) {
    if (dialogType != 0 && dialogType != 1) return false;
    FileRequest request;
    request.title = m_title;
    // "Description|pattern" pairs; a description without its pattern is dropped.
    std::vector<std::string> parts;
    for (size_t start = 0;;) {
        size_t bar = m_filter.find('|', start);
        parts.push_back(m_filter.substr(start, bar == std::string::npos ? bar : bar - start));
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    for (size_t i = 0; i + 1 < parts.size(); i += 2)
        request.filters.push_back({parts[i], parts[i + 1]});
    request.defaultFilter = m_defaultFilter;
    request.save = dialogType == 1;
    request.several = (m_flags & FlagAllowMultiSelect) != 0;
    request.mustExist = (m_flags & FlagFileMustExist) != 0;
    request.initialFolder = m_initialDir;
    request.fileName = m_fileName;
    request.defaultExt = m_defaultExt;
    std::vector<std::string> chosen = m_prompter.chooseFiles(request);
    if (chosen.empty()) return false;
    m_chosen = std::move(chosen);
    m_fileName = m_chosen.front();
    m_fileTitle = fileNameOf(m_fileName);
    // The folder of the (first) chosen file: with its separator after one
    // file, without it after several, as the dialog has always given it.
    m_selectedPath = folderOf(m_fileName);
    if (m_chosen.size() == 1 && m_selectedPath != "/") m_selectedPath += '/';
    return true;
}

} // namespace tv
