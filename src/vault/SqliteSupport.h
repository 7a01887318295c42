#pragma once

// Small helpers around the SQLCipher C API, shared by the data layer's own files (not part of
// the layer's interface).

#include <sqlcipher/sqlite3.h>

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <vector>

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

namespace SqliteSupport {

// A SELECT text seen as its shape: the whole-number literals of its top-level WHERE clause taken
// out as parameters, so that texts which differ only in a key ("... Where PID =7 ...") share one
// prepared statement. A literal and a bound whole number compare alike (neither has an affinity),
// so the rows are the ones the text asks for. Nothing else is touched: literals in the result
// columns would rename them, and "Order by 1" names a column, not a value.
struct StatementShape {
    QString sql;                  // the text to prepare: the given one, or the shape with "?" marks
    std::vector<qint64> literals; // the values for the marks, in order
    // How much of `sql` gives the same rows without their order, for counting them:
    // "SELECT count(*) FROM (<that>)". An ORDER BY at the end changes no count but keeps the
    // engine from merging the two queries, and so from counting from an index alone.
    qsizetype unorderedLength = 0;
    QString unordered() const { return sql.left(unorderedLength); }
};
StatementShape shapeOf(const QString& sql);

// A prepared statement with the names of its columns.
struct PreparedStatement {
    StatementPtr statement;
    QStringList columns;
    // The one table every result column comes from, as the engine knows it; empty for a join over
    // several tables or a computed column, whose rows no single row of the file stands behind.
    QString sourceTable;
};

// Prepared statements kept for reuse on one connection. A statement in use is shared with its
// user; one that only the cache holds is idle and is handed out again, reset. Statements outlive
// the cache safely: the connection is closed with sqlite3_close_v2, which waits for the last one
// to be finalized.
class StatementCache {
public:
    using Lease = std::shared_ptr<PreparedStatement>;

    explicit StatementCache(sqlite3* db) : m_db(db) {}

    // An idle statement for the text, or a newly prepared one. Returns the engine's result code
    // (SQLITE_MISUSE, extraStatement set, for a second statement after the first).
    int acquire(const QString& sql, Lease& lease, bool* extraStatement = nullptr);
    // Makes a statement idle again: resets it (which also ends its read of the file) and clears its bindings.
    static void release(Lease& lease);

private:
    sqlite3* m_db;
    QHash<QString, std::vector<Lease>> m_statements;
};

} // namespace SqliteSupport
