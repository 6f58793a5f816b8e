#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace tv {

// A numbered error raised by the helper classes, with a fixed description and
// a source made of the program's name and the class name.
class ComponentError : public std::runtime_error {
public:
    ComponentError(uint32_t number, const std::string& description, const std::string& source)
        : std::runtime_error(description), m_number(number), m_source(source) {}
    uint32_t number() const { return m_number; }
    const std::string& source() const { return m_source; }

private:
    uint32_t m_number;
    std::string m_source;
};

// The name of the running program, as error sources begin.
std::string programName();

// One file named by a full path: its attributes, contents and name parts, and
// checked copy, move and delete operations.
class CFile {
public:
    static constexpr uint32_t ErrNotInitialized = 0x8004440D;
    static constexpr uint32_t ErrInvalidFileName = 0x8004440E;
    static constexpr uint32_t ErrFileNotFound = 0x8004440F;
    static constexpr uint32_t ErrCopyFailed = 0x80044410;
    static constexpr uint32_t ErrMoveFailed = 0x80044411;
    static constexpr uint32_t ErrDeleteFailed = 0x80044412;
    static constexpr uint32_t ErrComponentFailure = 0x80044413;

    // Attribute bits as the Windows file system reports them.
    static constexpr int32_t AttrReadOnly = 1;
    static constexpr int32_t AttrHidden = 2;
    static constexpr int32_t AttrDirectory = 16;
    static constexpr int32_t AttrArchive = 32;

    void Init(const std::string& path);
    int32_t Attributes() const;
    std::string Contents() const;
    void Contents(const std::string& text);
    std::string FileName() const;
    std::string FileExt() const;
    std::string FilePath() const;
    const std::string& PathFileName() const { return m_path; }
    void PathFileName(const std::string& path);
    bool ReadOnly() const;
    std::string ShortFileName() const;
    int64_t Size() const;
    void Copy(const std::string& newFileName) const;
    void Delete() const;
    bool Exists() const;
    bool IdenticalWith(const std::string& referenceFileName) const;
    void Move(const std::string& newFileName) const;

private:
    [[noreturn]] void raise(uint32_t number) const;
    void requireInit() const;
    void requireName(const std::string& name) const;
    void requireExists() const;
    std::string m_path;
};

} // namespace tv
