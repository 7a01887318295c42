#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <memory>
#include <sqlcipher/sqlite3.h>

// A file the engine opens apart from the program's connection (a copy being written or proved),
// closed with its owner whatever path the caller leaves by.
struct DatabaseCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using DatabasePtr = std::unique_ptr<sqlite3, DatabaseCloser>;

// Opens `path` with `flags` and keys it; `rc` is the first failure or SQLITE_OK. The handle comes
// back even on failure, since it holds the engine's words for what went wrong.
inline DatabasePtr openKeyed(const QString& path, int flags, const QByteArray& key, int& rc) {
    sqlite3* db = nullptr;
    rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db, flags, nullptr);
    DatabasePtr owned(db);
    if (rc == SQLITE_OK) {
        rc = sqlite3_key(db, key.constData(), static_cast<int>(key.size()));
    }
    return owned;
}
