#include "undo_log.h"

#include "platform/text_io.h"

#include <sqlite3.h>

namespace tv {

namespace {

struct Db {
    sqlite3* handle = nullptr;
    ~Db() {
        if (handle) sqlite3_close(handle);
    }
};

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
    const char* sql = "CREATE TABLE IF NOT EXISTS Undo (MoveDate TEXT, OldFName TEXT, NewFName TEXT)";
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
    if (sqlite3_open_v2(path.c_str(), &db.handle, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        return fail(db.handle, error);
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db.handle, "SELECT MoveDate, OldFName, NewFName FROM Undo", -1, &st,
                           nullptr) != SQLITE_OK)
        return fail(db.handle, error);
    auto text = [&](int col) {
        auto p = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
        return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(st, col))) : std::string();
    };
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) out.push_back({text(0), text(1), text(2)});
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) return fail(db.handle, error);
    return true;
}

std::string undoDatabasePath(const std::string& programFolder) {
    return findInFolder(programFolder, "tessvane.mdb");
}

} // namespace tv
