#include "WriteTransaction.h"

#include "Connection.h"

#include <sqlcipher/sqlite3.h>

WriteTransaction::WriteTransaction(Connection& connection) : m_connection(connection) {
    // IMMEDIATE takes the write lock at once: a check made inside the transaction cannot be
    // overtaken by another writer before the write that depends on it.
    m_connection.execute(QStringLiteral("BEGIN IMMEDIATE"));
    m_open = true;
}

WriteTransaction::~WriteTransaction() {
    if (!m_open || m_connection.handle() == nullptr || sqlite3_get_autocommit(m_connection.handle())) {
        return; // committed, or already undone by the engine after a failure
    }
    try {
        m_connection.execute(QStringLiteral("ROLLBACK"));
    } catch (...) {
        // The engine ends a transaction it cannot undo when the connection closes; nothing to add.
    }
}

void WriteTransaction::commit() {
    m_connection.execute(QStringLiteral("COMMIT"));
    m_open = false;
}
