#pragma once

#include "SqliteSupport.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace SqliteSupport {

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
