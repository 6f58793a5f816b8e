#pragma once

#include <string>

namespace tv {

// A private folder of our own under the system's temporary folder ($TMPDIR,
// else /tmp), made afresh (mkdtemp) and removed with all it holds when the
// object goes. Links inside it are removed, never followed.
class TempFolder {
public:
    explicit TempFolder(const std::string& stem = "tessvane");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    bool valid() const { return !m_path.empty(); }
    const std::string& path() const { return m_path; }
    // Why the folder could not be made.
    const std::string& error() const { return m_error; }

private:
    std::string m_path;
    std::string m_error;
};

} // namespace tv
