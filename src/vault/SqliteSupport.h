#pragma once

// Small helpers around the SQLCipher C API, shared by the data layer's own files (not part of
// the layer's interface).

#include <sqlcipher/sqlite3.h>

#include <QString>
#include <QVariant>
#include <memory>

namespace SqliteSupport {

struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// Binds one value: a null QVariant as NULL, a text as UTF-16 with its full length (U+0000
// survives, an empty text stays an empty text), whole numbers as 64-bit integers.
int bindValue(sqlite3_stmt* statement, int index, const QVariant& value);

// The value of one column of the current row: NULL as a null QVariant, integers as qint64,
// reals as double, texts as QString with their full length, blobs as QByteArray.
QVariant columnValue(sqlite3_stmt* statement, int column);

// Prepares exactly one statement. Returns the engine's result code; a second statement after
// the first is refused with SQLITE_MISUSE (extraStatement set), so nothing is silently skipped.
int prepareOne(sqlite3* db, const QString& sql, StatementPtr& statement, bool* extraStatement = nullptr);

} // namespace SqliteSupport
