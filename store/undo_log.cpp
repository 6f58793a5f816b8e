#include "undo_log.h"

#include "platform/text_io.h"

#include <algorithm>
#include <sqlite3.h>

namespace tv {

namespace {

// Long enough to outlast another program's commit, short enough that a run
// blocked by a writer that does not finish says so at once.
constexpr int kBusyTimeoutMs = 1000;

struct Db {
    sqlite3* handle = nullptr;
    ~Db() {
        if (handle) sqlite3_close(handle);
    }
};

// The three columns of the current row as a record.
UndoRecord recordAt(sqlite3_stmt* st) {
    auto text = [&](int col) {
        auto p = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
        return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(st, col)))
                 : std::string();
    };
    return {text(0), text(1), text(2), 0};
}

bool fail(sqlite3* db, std::string* error) {
    if (error) *error = db ? sqlite3_errmsg(db) : "cannot open the undo log";
    return false;
}

} // namespace

bool createUndoDatabase(const std::string& path, std::string* error) {
    Db db;
    if (sqlite3_open_v2(path.c_str(), &db.handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr) != SQLITE_OK)
        return fail(db.handle, error);
    const char* sql =
        "CREATE TABLE IF NOT EXISTS Undo (MoveDate TEXT, OldFName TEXT, NewFName TEXT)";
    if (sqlite3_exec(db.handle, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        return fail(db.handle, error);
    return true;
}

bool readUndoRecords(const std::string& path, std::vector<UndoRecord>& out, std::string* error) {
    out.clear();
    if (!fileExists(path)) {
        if (error) *error = path + " does not exist";
        return false;
    }
    Db db;
    if (sqlite3_open_v2(path.c_str(), &db.handle, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        return fail(db.handle, error);
    sqlite3_busy_timeout(db.handle, kBusyTimeoutMs);
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db.handle, "SELECT MoveDate, OldFName, NewFName FROM Undo", -1, &st,
                           nullptr) != SQLITE_OK)
        return fail(db.handle, error);
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW)
        out.push_back(recordAt(st));
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) return fail(db.handle, error);
    return true;
}

UndoLog::~UndoLog() {
    close();
}

void UndoLog::close() {
    if (m_insert) sqlite3_finalize(m_insert);
    m_insert = nullptr;
    if (m_removeRow) sqlite3_finalize(m_removeRow);
    m_removeRow = nullptr;
    for (sqlite3_stmt** kept :
         {&m_deleteFile, &m_insertFile, &m_forgetInstall, &m_insertLine, &m_removeRange}) {
        sqlite3_finalize(*kept);
        *kept = nullptr;
    }
    if (m_db) sqlite3_close(m_db);
    m_db = nullptr;
}

bool UndoLog::open(const std::string& path) {
    close();
    m_error.clear();
    if (!fileExists(path)) {
        m_error = path + " does not exist";
        return false;
    }
    if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        m_error = m_db ? sqlite3_errmsg(m_db) : "cannot open " + path;
        close();
        return false;
    }
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    sqlite3_exec(m_db, "PRAGMA secure_delete=FAST", nullptr, nullptr, nullptr);
    if (sqlite3_prepare_v2(m_db, "INSERT INTO Undo (MoveDate, OldFName, NewFName) VALUES (?, ?, ?)",
                           -1, &m_insert, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(m_db, "DELETE FROM Undo WHERE rowid = ?", -1, &m_removeRow, nullptr) !=
            SQLITE_OK) {
        m_error = std::string(sqlite3_errmsg(m_db)) + " (" + path + ")";
        close();
        return false;
    }
    return true;
}

bool UndoLog::exec(const char* sql) {
    if (!m_db) return false;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        m_error = sqlite3_errmsg(m_db);
        return false;
    }
    return true;
}

bool UndoLog::rememberFolder(const std::string& folder) {
    if (!m_db) return false;
    if (sqlite3_exec(m_db, "CREATE TABLE IF NOT EXISTS MoveFolders (Folder TEXT PRIMARY KEY)",
                     nullptr, nullptr, nullptr) != SQLITE_OK) {
        setWriteError();
        return false;
    }
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(m_db, "INSERT OR IGNORE INTO MoveFolders (Folder) VALUES (?)", -1, &st,
                           nullptr) != SQLITE_OK) {
        m_error = sqlite3_errmsg(m_db);
        return false;
    }
    sqlite3_bind_text(st, 1, folder.data(), static_cast<int>(folder.size()), SQLITE_TRANSIENT);
    bool ok = sqlite3_step(st) == SQLITE_DONE;
    if (!ok) setWriteError();
    sqlite3_finalize(st);
    return ok;
}

bool UndoLog::movedIntoFolders(std::vector<std::string>& out) {
    out.clear();
    if (!m_db) return false;
    sqlite3_stmt* st = nullptr;
    // A log from before any run remembered a folder has no such table yet.
    if (sqlite3_prepare_v2(m_db, "SELECT Folder FROM MoveFolders", -1, &st, nullptr) != SQLITE_OK) {
        sqlite3_finalize(st);
        std::string error = sqlite3_errmsg(m_db);
        if (error.find("no such table") != std::string::npos) return true;
        m_error = error;
        return false;
    }
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        out.emplace_back(text ? text : "", static_cast<size_t>(sqlite3_column_bytes(st, 0)));
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) {
        m_error = sqlite3_errmsg(m_db);
        return false;
    }
    return true;
}

bool UndoLog::begin() {
    return exec("BEGIN");
}

void UndoLog::setWriteError() {
    int code = sqlite3_errcode(m_db) & 0xff;
    if (code == SQLITE_BUSY || code == SQLITE_LOCKED)
        m_error = "is in use by another program";
    else
        m_error = std::string("cannot be written: ") + sqlite3_errmsg(m_db);
}

bool UndoLog::beginWrite() {
    if (!m_db) return false;
    if (sqlite3_db_readonly(m_db, "main") == 1) {
        m_error = "cannot be written: the file is read-only";
        return false;
    }
    if (sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
        setWriteError();
        return false;
    }
    return true;
}

bool UndoLog::inTransaction() const {
    return m_db && sqlite3_get_autocommit(m_db) == 0;
}
bool UndoLog::commit() {
    if (!m_db) return false;
    if (sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        setWriteError();
        return false;
    }
    return true;
}
void UndoLog::rollback() {
    exec("ROLLBACK");
}

static void bindText(sqlite3_stmt* st, int index, const std::string& value) {
    sqlite3_bind_text(st, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
}

int64_t UndoLog::insert(const UndoRecord& r) {
    if (!m_insert) return 0;
    sqlite3_reset(m_insert);
    // The record outlives the step: its text is bound where it is, not copied.
    for (int i = 0; i < 3; ++i) {
        const std::string& v = i == 0 ? r.MoveDate : i == 1 ? r.OldFName : r.NewFName;
        sqlite3_bind_text(m_insert, i + 1, v.data(), static_cast<int>(v.size()), SQLITE_STATIC);
    }
    if (sqlite3_step(m_insert) != SQLITE_DONE) {
        setWriteError();
        return 0;
    }
    return sqlite3_last_insert_rowid(m_db);
}

bool UndoLog::removeRow(int64_t rowid) {
    if (!m_removeRow) return false;
    sqlite3_reset(m_removeRow);
    sqlite3_bind_int64(m_removeRow, 1, rowid);
    if (sqlite3_step(m_removeRow) != SQLITE_DONE) {
        setWriteError();
        return false;
    }
    return true;
}

bool UndoLog::removeRows(std::vector<int64_t> rowids) {
    std::sort(rowids.begin(), rowids.end());
    rowids.erase(std::unique(rowids.begin(), rowids.end()), rowids.end());
    for (size_t i = 0; i < rowids.size();) {
        size_t j = i + 1;
        while (j < rowids.size() && rowids[j] == rowids[j - 1] + 1)
            ++j;
        sqlite3_stmt* st = statement(m_removeRange, "DELETE FROM Undo WHERE rowid BETWEEN ? AND ?");
        if (!st) {
            setWriteError();
            return false;
        }
        sqlite3_bind_int64(st, 1, rowids[i]);
        sqlite3_bind_int64(st, 2, rowids[j - 1]);
        if (sqlite3_step(st) != SQLITE_DONE) {
            setWriteError();
            return false;
        }
        i = j;
    }
    return true;
}

bool UndoLog::allRecords(std::vector<UndoRecord>& out) {
    out.clear();
    if (!m_db) return false;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(m_db, "SELECT MoveDate, OldFName, NewFName, rowid FROM Undo", -1, &st,
                           nullptr) != SQLITE_OK) {
        m_error = sqlite3_errmsg(m_db);
        return false;
    }
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        out.push_back(recordAt(st));
        out.back().rowid = sqlite3_column_int64(st, 3);
    }
    if (rc != SQLITE_DONE) m_error = sqlite3_errmsg(m_db);
    sqlite3_finalize(st);
    return rc == SQLITE_DONE;
}

bool UndoLog::recordsFor(const std::string& newName, std::vector<UndoRecord>& out) {
    out.clear();
    if (!m_db) return false;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(
            m_db, "SELECT DISTINCT MoveDate, OldFName, NewFName FROM Undo WHERE NewFName = ?", -1,
            &st, nullptr) != SQLITE_OK) {
        m_error = sqlite3_errmsg(m_db);
        return false;
    }
    bindText(st, 1, newName);
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW)
        out.push_back(recordAt(st));
    sqlite3_finalize(st);
    return rc == SQLITE_DONE;
}

bool UndoLog::removeFor(const std::string& newName) {
    if (!m_db) return false;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(m_db, "DELETE FROM Undo WHERE NewFName = ?", -1, &st, nullptr) !=
        SQLITE_OK) {
        m_error = sqlite3_errmsg(m_db);
        return false;
    }
    bindText(st, 1, newName);
    bool ok = sqlite3_step(st) == SQLITE_DONE;
    if (!ok) m_error = sqlite3_errmsg(m_db);
    sqlite3_finalize(st);
    return ok;
}

namespace {

constexpr const char* kInstallTables =
    "CREATE TABLE IF NOT EXISTS Installs (Id INTEGER PRIMARY KEY, Archive TEXT, InstallDate TEXT);"
    "CREATE TABLE IF NOT EXISTS InstalledFiles (Install INTEGER, Path TEXT, Size INTEGER, "
    "Hash TEXT);"
    // A file's row is found by its installation and path (each is written
    // twice: pending, then whole); without this a big installation took
    // time growing with the square of its files.
    "CREATE INDEX IF NOT EXISTS InstalledFilesByPath ON InstalledFiles (Install, Path);"
    // The folders an installation made, for its take-back to remove again.
    "CREATE TABLE IF NOT EXISTS InstalledFolders (Install INTEGER, Path TEXT)";

std::string columnText(sqlite3_stmt* st, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, column));
    return text ? std::string(text, static_cast<size_t>(sqlite3_column_bytes(st, column)))
                : std::string();
}

} // namespace

constexpr const char* kRemovalTable =
    "CREATE TABLE IF NOT EXISTS Removals (Id INTEGER PRIMARY KEY, RemoveDate TEXT, Path TEXT, "
    "CacheFile TEXT, Appended TEXT, Shared INTEGER, Done INTEGER)";

bool UndoLog::removeAll() {
    // The installations and removals go too, where the log has them.
    return exec("DELETE FROM Undo") && exec(kInstallTables) &&
           exec("DELETE FROM InstalledFiles; DELETE FROM InstalledFolders; DELETE FROM Installs") &&
           exec(kRemovalTable) && exec("DELETE FROM Removals");
}

int64_t UndoLog::addRemoval(const Removal& r) {
    if (!m_db) return 0;
    sqlite3_stmt* st = nullptr;
    int64_t id = 0;
    if (exec(kRemovalTable) &&
        sqlite3_prepare_v2(m_db,
                           "INSERT INTO Removals (RemoveDate, Path, CacheFile, Appended, Shared, "
                           "Done) VALUES (?, ?, ?, ?, ?, ?)",
                           -1, &st, nullptr) == SQLITE_OK) {
        bindText(st, 1, r.date);
        bindText(st, 2, r.path);
        bindText(st, 3, r.cacheFile);
        bindText(st, 4, r.appended);
        sqlite3_bind_int(st, 5, r.shared ? 1 : 0);
        sqlite3_bind_int(st, 6, r.done ? 1 : 0);
        if (sqlite3_step(st) == SQLITE_DONE) id = sqlite3_last_insert_rowid(m_db);
    }
    sqlite3_finalize(st);
    if (id == 0) setWriteError();
    return id;
}

bool UndoLog::setRemovalDone(int64_t id) {
    sqlite3_stmt* st = nullptr;
    bool ok = m_db && sqlite3_prepare_v2(m_db, "UPDATE Removals SET Done = 1 WHERE Id = ?", -1, &st,
                                         nullptr) == SQLITE_OK;
    if (ok) {
        sqlite3_bind_int64(st, 1, id);
        ok = sqlite3_step(st) == SQLITE_DONE;
    }
    sqlite3_finalize(st);
    if (!ok) setWriteError();
    return ok;
}

bool UndoLog::forgetRemoval(int64_t id) {
    sqlite3_stmt* st = nullptr;
    bool ok = m_db && sqlite3_prepare_v2(m_db, "DELETE FROM Removals WHERE Id = ?", -1, &st,
                                         nullptr) == SQLITE_OK;
    if (ok) {
        sqlite3_bind_int64(st, 1, id);
        ok = sqlite3_step(st) == SQLITE_DONE;
    }
    sqlite3_finalize(st);
    if (!ok) setWriteError();
    return ok;
}

bool UndoLog::removals(std::vector<Removal>& out) {
    out.clear();
    if (!m_db) return false;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(m_db,
                           "SELECT Id, RemoveDate, Path, CacheFile, Appended, Shared, Done FROM "
                           "Removals ORDER BY Id",
                           -1, &st, nullptr) != SQLITE_OK) {
        sqlite3_finalize(st);
        const std::string error = sqlite3_errmsg(m_db);
        if (error.find("no such table") != std::string::npos) return true; // none recorded yet
        m_error = error;
        return false;
    }
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW)
        out.push_back({sqlite3_column_int64(st, 0), columnText(st, 1), columnText(st, 2),
                       columnText(st, 3), columnText(st, 4), sqlite3_column_int(st, 5) != 0,
                       sqlite3_column_int(st, 6) != 0});
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) m_error = sqlite3_errmsg(m_db);
    return rc == SQLITE_DONE;
}

bool UndoLog::rememberLine(int64_t move, const std::string& line) {
    if (!m_db) return false;
    if (!m_insertLine &&
        !exec("CREATE TABLE IF NOT EXISTS MoveLines (Move INTEGER PRIMARY KEY, Line TEXT);"
              "CREATE TRIGGER IF NOT EXISTS MoveLineGoes AFTER DELETE ON Undo "
              "BEGIN DELETE FROM MoveLines WHERE Move = old.rowid; END")) {
        setWriteError();
        return false;
    }
    sqlite3_stmt* st =
        statement(m_insertLine, "INSERT OR REPLACE INTO MoveLines (Move, Line) VALUES (?, ?)");
    if (!st) return false;
    sqlite3_bind_int64(st, 1, move);
    bindText(st, 2, line);
    if (sqlite3_step(st) != SQLITE_DONE) {
        setWriteError();
        return false;
    }
    return true;
}

bool UndoLog::movedLines(std::unordered_map<int64_t, std::string>& out) {
    out.clear();
    if (!m_db) return false;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(m_db, "SELECT Move, Line FROM MoveLines", -1, &st, nullptr) !=
        SQLITE_OK) {
        sqlite3_finalize(st);
        // A log no run with such a line wrote has no table.
        return true;
    }
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW)
        out.emplace(sqlite3_column_int64(st, 0), columnText(st, 1));
    if (rc != SQLITE_DONE) m_error = sqlite3_errmsg(m_db);
    sqlite3_finalize(st);
    return rc == SQLITE_DONE;
}

bool compactUndoDatabase(const std::string& from, const std::string& to, std::string* error) {
    Db db;
    if (sqlite3_open_v2(from.c_str(), &db.handle, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        return fail(db.handle, error);
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db.handle, "VACUUM INTO ?", -1, &st, nullptr) != SQLITE_OK)
        return fail(db.handle, error);
    bindText(st, 1, to);
    bool ok = sqlite3_step(st) == SQLITE_DONE;
    if (!ok && error) *error = sqlite3_errmsg(db.handle);
    sqlite3_finalize(st);
    return ok;
}

std::string undoDatabasePath(const std::string& programFolder) {
    return findInFolder(programFolder, "tessvane.mdb");
}

int64_t UndoLog::addInstallation(const std::string& archive, const std::string& date) {
    if (!m_db) return 0;
    sqlite3_stmt* st = nullptr;
    int64_t id = 0;
    if (exec(kInstallTables) &&
        sqlite3_prepare_v2(m_db, "INSERT INTO Installs (Archive, InstallDate) VALUES (?, ?)", -1,
                           &st, nullptr) == SQLITE_OK) {
        bindText(st, 1, archive);
        bindText(st, 2, date);
        if (sqlite3_step(st) == SQLITE_DONE) id = sqlite3_last_insert_rowid(m_db);
    }
    sqlite3_finalize(st);
    if (id == 0) setWriteError();
    return id;
}

sqlite3_stmt* UndoLog::statement(sqlite3_stmt*& kept, const char* sql) {
    // Prepared once for this connection: a big installation writes its
    // rows in the tens of thousands.
    if (!kept &&
        sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &kept, nullptr) != SQLITE_OK) {
        sqlite3_finalize(kept);
        kept = nullptr;
        return nullptr;
    }
    sqlite3_reset(kept);
    sqlite3_clear_bindings(kept);
    return kept;
}

bool UndoLog::deleteInstalledFile(int64_t installation, const std::string& path) {
    sqlite3_stmt* st =
        statement(m_deleteFile, "DELETE FROM InstalledFiles WHERE Install = ? AND Path = ?");
    if (!st) return false;
    sqlite3_bind_int64(st, 1, installation);
    bindText(st, 2, path);
    const bool ok = sqlite3_step(st) == SQLITE_DONE;
    sqlite3_reset(st);
    return ok;
}

bool UndoLog::setInstalledFile(int64_t installation, const InstalledFile& file) {
    if (!m_db) return false;
    // One row a path: a pending record becomes the whole one.
    sqlite3_stmt* st = nullptr;
    bool ok = deleteInstalledFile(installation, file.path) &&
              (st = statement(m_insertFile, "INSERT INTO InstalledFiles (Install, Path, Size, "
                                            "Hash) VALUES (?, ?, ?, ?)")) != nullptr;
    if (ok) {
        sqlite3_bind_int64(st, 1, installation);
        bindText(st, 2, file.path);
        sqlite3_bind_int64(st, 3, file.size);
        bindText(st, 4, file.hash);
        ok = sqlite3_step(st) == SQLITE_DONE;
        sqlite3_reset(st);
    }
    if (!ok) setWriteError();
    return ok;
}

bool UndoLog::installations(std::vector<Installation>& out) {
    out.clear();
    if (!m_db) return false;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(m_db,
                           "SELECT i.Id, i.Archive, i.InstallDate, f.Path, f.Size, f.Hash FROM "
                           "Installs i JOIN InstalledFiles f ON f.Install = i.Id ORDER BY i.Id, "
                           "f.rowid",
                           -1, &st, nullptr) != SQLITE_OK) {
        sqlite3_finalize(st);
        const std::string error = sqlite3_errmsg(m_db);
        if (error.find("no such table") != std::string::npos) return true; // none recorded yet
        m_error = error;
        return false;
    }
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        const int64_t id = sqlite3_column_int64(st, 0);
        if (out.empty() || out.back().id != id)
            out.push_back({id, columnText(st, 1), columnText(st, 2), {}});
        out.back().files.push_back(
            {columnText(st, 3), sqlite3_column_int64(st, 4), columnText(st, 5)});
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) {
        m_error = sqlite3_errmsg(m_db);
        return false;
    }
    return true;
}

bool UndoLog::addInstalledFolder(int64_t installation, const std::string& path) {
    if (!m_db || !exec(kInstallTables)) return false;
    sqlite3_stmt* st = nullptr;
    bool ok = sqlite3_prepare_v2(m_db, "INSERT INTO InstalledFolders (Install, Path) VALUES (?, ?)",
                                 -1, &st, nullptr) == SQLITE_OK;
    if (ok) {
        sqlite3_bind_int64(st, 1, installation);
        bindText(st, 2, path);
        ok = sqlite3_step(st) == SQLITE_DONE;
    }
    sqlite3_finalize(st);
    if (!ok) setWriteError();
    return ok;
}

bool UndoLog::installedFolders(int64_t installation, std::vector<std::string>& out) {
    out.clear();
    if (!m_db) return false;
    sqlite3_stmt* st = nullptr;
    // The deepest first: a folder made inside another made one goes before it.
    if (sqlite3_prepare_v2(m_db,
                           "SELECT Path FROM InstalledFolders WHERE Install = ? ORDER BY "
                           "length(Path) DESC",
                           -1, &st, nullptr) != SQLITE_OK) {
        sqlite3_finalize(st);
        const std::string error = sqlite3_errmsg(m_db);
        if (error.find("no such table") != std::string::npos) return true; // an older log
        m_error = error;
        return false;
    }
    sqlite3_bind_int64(st, 1, installation);
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW)
        out.push_back(columnText(st, 0));
    sqlite3_finalize(st);
    if (rc == SQLITE_DONE) return true;
    m_error = sqlite3_errmsg(m_db);
    return false;
}

bool UndoLog::forgetInstalledFolders(int64_t installation) {
    if (!m_db || !exec(kInstallTables)) return false;
    sqlite3_stmt* st = nullptr;
    bool ok = sqlite3_prepare_v2(m_db, "DELETE FROM InstalledFolders WHERE Install = ?", -1, &st,
                                 nullptr) == SQLITE_OK;
    if (ok) {
        sqlite3_bind_int64(st, 1, installation);
        ok = sqlite3_step(st) == SQLITE_DONE;
    }
    sqlite3_finalize(st);
    if (!ok) setWriteError();
    return ok;
}

bool UndoLog::forgetInstalledFile(int64_t installation, const std::string& path) {
    if (!m_db) return false;
    bool ok = deleteInstalledFile(installation, path);
    // The installation goes with its last file (found through the index).
    sqlite3_stmt* st =
        ok ? statement(m_forgetInstall, "DELETE FROM Installs WHERE Id = ?1 AND NOT EXISTS (SELECT "
                                        "1 FROM InstalledFiles WHERE Install = ?1)")
           : nullptr;
    if (st) {
        sqlite3_bind_int64(st, 1, installation);
        ok = sqlite3_step(st) == SQLITE_DONE;
        sqlite3_reset(st);
    }
    ok = ok && st;
    if (!ok) setWriteError();
    return ok;
}

} // namespace tv
