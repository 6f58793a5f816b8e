#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace tv {

struct UndoRecord {
    std::string MoveDate;
    std::string OldFName;
    std::string NewFName;
    int64_t rowid = 0; // the row in the table, when read from it
};

// A file an archive installation put into the game, as it was then.
struct InstalledFile {
    std::string path;
    int64_t size = 0; // kPending: recorded before the file was written
    std::string hash; // fileHash(); empty while pending
    static constexpr int64_t kPending = -1;
    bool pending() const { return size == kPending; }
};

// One installation of an archive (ZIP or UMOD).
struct Installation {
    int64_t id = 0;
    std::string archive; // the archive's whole path
    std::string date;    // the short date of the installation
    std::vector<InstalledFile> files;
};

// A package the library removed: moved back into the cache (or deleted),
// written before the file went.
struct Removal {
    int64_t id = 0;
    std::string date;
    std::string path;      // where the file was
    std::string cacheFile; // where it went; empty when it was deleted
    std::string appended;  // the text appended to Cache.ini for it (empty: none)
    bool shared = false;   // the cache held these bytes already: only the copy went
    bool done = false;     // false: recorded, the file not yet gone (or killed part-way)
};

// Creates an undo log with its empty table Undo (MoveDate, OldFName, NewFName).
bool createUndoDatabase(const std::string& path, std::string* error = nullptr);

// Every record in the order the database returns them; false when the log
// cannot be opened or read. The log is opened for writing where the file
// allows it, so a journal left by a killed program is rolled back first.
bool readUndoRecords(const std::string& path, std::vector<UndoRecord>& out,
                     std::string* error = nullptr);

// An open undo log. Every command binds its values, so names with quotes are
// stored like any other.
class UndoLog {
public:
    UndoLog() = default;
    ~UndoLog();
    UndoLog(const UndoLog&) = delete;
    UndoLog& operator=(const UndoLog&) = delete;

    // Opens an existing log (it is never created here) and checks its table.
    bool open(const std::string& path);
    bool isOpen() const { return m_db != nullptr; }
    void close();
    const std::string& lastError() const { return m_error; }

    bool begin();
    // Takes the write lock at once (BEGIN IMMEDIATE), waiting only briefly for
    // another writer. false with lastError() set to the end of a sentence that
    // begins "The undo log <path> ": "is in use by another program" or
    // "cannot be written: <reason>".
    bool beginWrite();
    bool inTransaction() const;
    bool commit();
    void rollback();
    // The new row's id, or 0 when it could not be inserted.
    int64_t insert(const UndoRecord& record);
    bool removeRow(int64_t rowid);
    // Every row of these ids, a run of consecutive ids in one statement.
    bool removeRows(std::vector<int64_t> rowids);
    // Every record with its row id, in table order.
    bool allRecords(std::vector<UndoRecord>& out);
    // SELECT DISTINCT * ... WHERE NewFName = newName
    bool recordsFor(const std::string& newName, std::vector<UndoRecord>& out);
    bool removeFor(const std::string& newName);
    bool removeAll();

    // The folders a run moved into, kept beside the records (table
    // MoveFolders, made on first use; the Undo table is left as it is). The
    // undo follows a record only into such a folder or a game folder.
    bool rememberFolder(const std::string& folder);
    bool movedIntoFolders(std::vector<std::string>& out);

    // The Cache.ini line of a move whose line the undo could not make again
    // from the record's names (UT2004's "<id>-1=" line of a file "<id>.uxx",
    // blanks around "=", ...): table MoveLines, made on first use, whose rows
    // go with their records. `move` is the record's row id.
    bool rememberLine(int64_t move, const std::string& line);
    // Every such line by its record's row id (none when the log has no table).
    bool movedLines(std::unordered_map<int64_t, std::string>& out);

    // Archive installations (tables Installs and InstalledFiles, made on
    // first use; a log without them has none), written inside the caller's
    // transaction. An installation records each file before it writes it
    // (pending) and again once it is whole. The new installation's id, or 0.
    int64_t addInstallation(const std::string& archive, const std::string& date);
    // The record of one file of an installation, replacing the one of its path.
    bool setInstalledFile(int64_t installation, const InstalledFile& file);
    bool installations(std::vector<Installation>& out);
    // One file of an installation forgotten (it was taken back, or it is no
    // longer the installation's); the installation goes with its last file.
    bool forgetInstalledFile(int64_t installation, const std::string& path);
    // The folders an installation made (table InstalledFolders), deepest
    // first; forgotten once its take-back has removed them.
    bool addInstalledFolder(int64_t installation, const std::string& path);
    bool installedFolders(int64_t installation, std::vector<std::string>& out);
    bool forgetInstalledFolders(int64_t installation);

    // Removals (table Removals, made on first use), written inside the
    // caller's transaction. The new removal's id, or 0.
    int64_t addRemoval(const Removal& removal);
    bool setRemovalDone(int64_t id);
    // Every removal, oldest first (none when the log has no table).
    bool removals(std::vector<Removal>& out);
    bool forgetRemoval(int64_t id);

private:
    bool exec(const char* sql);
    bool deleteInstalledFile(int64_t installation, const std::string& path);
    void setWriteError();
    // `kept`, prepared from `sql` at its first use, reset for another.
    sqlite3_stmt* statement(sqlite3_stmt*& kept, const char* sql);
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_insert = nullptr;
    sqlite3_stmt* m_removeRow = nullptr;
    sqlite3_stmt* m_deleteFile = nullptr;
    sqlite3_stmt* m_insertFile = nullptr;
    sqlite3_stmt* m_forgetInstall = nullptr;
    sqlite3_stmt* m_insertLine = nullptr;
    sqlite3_stmt* m_removeRange = nullptr;
    std::string m_error;
};

// Compacts `from` into a new file `to` (which must not exist).
bool compactUndoDatabase(const std::string& from, const std::string& to,
                         std::string* error = nullptr);

// The undo log's file in the program folder.
std::string undoDatabasePath(const std::string& programFolder);

} // namespace tv
