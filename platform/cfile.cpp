#include "cfile.h"

#include "file_ops.h"
#include "program_folder.h"
#include "text_io.h"
#include "text_util.h"

#include <cstdio>
#include <filesystem>
#include <sys/stat.h>

namespace tv {

std::string programName() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string("tessvane") : exe.filename().string();
}

void CFile::raise(uint32_t number) const {
    const char* text = "CFile component failure";
    switch (number) {
    case ErrNotInitialized:
        text = "Object not properly initialized. Set the PathFileName property to a non-empty "
               "value first";
        break;
    case ErrInvalidFileName:
        text = "Invalid file name";
        break;
    case ErrFileNotFound:
        text = "File not found";
        break;
    case ErrCopyFailed:
        text = "File copy failed";
        break;
    case ErrMoveFailed:
        text = "File move failed";
        break;
    case ErrDeleteFailed:
        text = "File delete failed";
        break;
    default:
        break;
    }
    throw ComponentError(number, text, programName() + ".CFile");
}

void CFile::requireInit() const {
    if (m_path.empty()) raise(ErrNotInitialized);
}

void CFile::requireName(const std::string& name) const {
    if (name.empty()) raise(ErrInvalidFileName);
}

void CFile::requireExists() const {
    if (!Exists()) raise(ErrFileNotFound);
}

void CFile::Init(const std::string& path) {
    if (path.empty()) raise(ErrInvalidFileName);
    m_path = path;
}

void CFile::PathFileName(const std::string& path) {
    Init(path);
}

int32_t CFile::Attributes() const {
    requireInit();
    struct stat st {};
    if (::stat(m_path.c_str(), &st) != 0) raise(ErrFileNotFound);
    int32_t a = 0;
    if (!(st.st_mode & S_IWUSR)) a |= AttrReadOnly;
    if (FileName().rfind('.', 0) == 0) a |= AttrHidden;
    if (S_ISDIR(st.st_mode))
        a |= AttrDirectory;
    else
        a |= AttrArchive;
    return a;
}

std::string CFile::Contents() const {
    requireInit();
    requireExists();
    auto lines = readLines(m_path);
    if (!lines) raise(ErrComponentFailure);
    std::string out;
    for (const auto& l : *lines)
        out += "\r\n" + l;
    return out;
}

void CFile::Contents(const std::string& text) {
    requireInit();
    if (!writeFileAtomic(m_path, text + "\r\n")) raise(ErrComponentFailure);
}

std::string CFile::FileName() const {
    requireInit();
    size_t sep = m_path.rfind('/');
    return sep == std::string::npos ? m_path : m_path.substr(sep + 1);
}

std::string CFile::FileExt() const {
    requireInit();
    size_t dot = m_path.rfind('.');
    return dot == std::string::npos ? std::string() : m_path.substr(dot + 1);
}

std::string CFile::FilePath() const {
    requireInit();
    size_t sep = m_path.rfind('/');
    return sep == std::string::npos ? std::string() : m_path.substr(0, sep);
}

bool CFile::ReadOnly() const {
    requireInit();
    requireExists();
    return (Attributes() & AttrReadOnly) != 0;
}

std::string CFile::ShortFileName() const {
    requireInit();
    requireExists();
    // There are no short names here: the full path is its own short form.
    return m_path;
}

int64_t CFile::Size() const {
    requireInit();
    requireExists();
    auto size = fileSize(m_path);
    if (!size) raise(ErrComponentFailure);
    return *size;
}

void CFile::Copy(const std::string& newFileName) const {
    requireInit();
    requireName(newFileName);
    requireExists();
    if (!copyReplace(trim(m_path), trim(newFileName))) raise(ErrCopyFailed);
}

void CFile::Delete() const {
    requireInit();
    requireExists();
    if (!removeFile(trim(m_path))) raise(ErrDeleteFailed);
}

bool CFile::Exists() const {
    requireInit();
    return fileExists(m_path);
}

bool CFile::IdenticalWith(const std::string& reference) const {
    requireInit();
    requireName(reference);
    requireExists();
    if (reference == m_path) return true;
    if (!fileExists(reference)) raise(ErrFileNotFound);
    if (fileSize(m_path) != fileSize(reference)) return false;
    FILE* a = std::fopen(m_path.c_str(), "rb");
    FILE* b = std::fopen(reference.c_str(), "rb");
    if (!a || !b) {
        if (a) std::fclose(a);
        if (b) std::fclose(b);
        raise(ErrComponentFailure);
    }
    bool same = true;
    char bufA[16384], bufB[16384];
    for (;;) {
        size_t na = std::fread(bufA, 1, sizeof bufA, a);
        size_t nb = std::fread(bufB, 1, sizeof bufB, b);
        if (na != nb || std::char_traits<char>::compare(bufA, bufB, na) != 0) {
            same = false;
            break;
        }
        if (na < sizeof bufA) break;
    }
    std::fclose(a);
    std::fclose(b);
    return same;
}

void CFile::Move(const std::string& newFileName) const {
    requireInit();
    requireName(newFileName);
    requireExists();
    if (!moveNoReplace(trim(m_path), trim(newFileName))) raise(ErrMoveFailed);
}

} // namespace tv
