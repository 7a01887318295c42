#include "ReadingScope.h"

#include "Connection.h"
#include "StatementCache.h"

ReadingScope::ReadingScope(Connection& connection) {
    if (!connection.isOpen()) {
        return;
    }
    // A statement stopped on its first row keeps the file's state for the connection. Should the
    // file not give it, nothing is held, and each query takes the file for itself as before.
    if (connection.statementCache().acquire(QStringLiteral("SELECT 1 FROM sqlite_master"), m_statement) == SQLITE_OK &&
        sqlite3_step(m_statement->statement.get()) != SQLITE_ROW) {
        SqliteSupport::StatementCache::release(m_statement);
    }
}

ReadingScope::~ReadingScope() {
    SqliteSupport::StatementCache::release(m_statement);
}
