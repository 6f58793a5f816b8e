#pragma once

#include <string>

namespace tv {

// A private folder of our own under the system's temporary folder ($TMPDIR,
// else /tmp), made afresh (mkdtemp) and removed with all it holds when the
// object goes. Links inside it are removed, never followed. While the object
// lives it holds a lock on the file ".lock" inside, so that a folder left by
// a killed program can be told from one in use (removeAbandoned).
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

    // Removes this user's "<stem>-XXXXXX" folders in the temporary folder
    // whose lock no live program holds (a program killed while it used one),
    // and those without a lock file that are older than an hour (made before
    // folders had one). Returns how many went.
    static int removeAbandoned(const std::string& stem);

private:
    std::string m_path;
    std::string m_error;
    int m_lock = -1;
};

} // namespace tv
