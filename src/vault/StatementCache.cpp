#include "StatementCache.h"

namespace SqliteSupport {

int StatementCache::acquire(const QString& sql, Lease& lease, bool* extraStatement) {
    // A handful of texts at most, one or two statements each; anything beyond is not kept.
    constexpr qsizetype MaxTexts = 64;
    constexpr size_t MaxPerText = 8;
    if (extraStatement) {
        *extraStatement = false;
    }
    const auto found = m_statements.constFind(sql);
    if (found != m_statements.cend()) {
        for (const Lease& prepared : *found) {
            if (prepared.use_count() == 1) {
                lease = prepared;
                return SQLITE_OK;
            }
        }
    }
    auto prepared = std::make_shared<PreparedStatement>();
    const int rc = prepareOne(m_db, sql, prepared->statement, extraStatement);
    if (rc != SQLITE_OK) {
        return rc;
    }
    const int columnCount = sqlite3_column_count(prepared->statement.get());
    prepared->columns.reserve(columnCount);
    for (int c = 0; c < columnCount; ++c) {
        prepared->columns.append(
            QString(static_cast<const QChar*>(sqlite3_column_name16(prepared->statement.get(), c))));
        const auto* table = static_cast<const QChar*>(sqlite3_column_table_name16(prepared->statement.get(), c));
        const QString columnTable = table == nullptr ? QString() : QString(table);
        if (c == 0) {
            prepared->sourceTable = columnTable;
        } else if (columnTable != prepared->sourceTable) {
            prepared->sourceTable.clear();
        }
    }
    if (found == m_statements.cend() && m_statements.size() >= MaxTexts) {
        m_statements.clear(); // the statements in use stay with their users
    }
    std::vector<Lease>& pool = m_statements[sql];
    if (pool.size() < MaxPerText) {
        pool.push_back(prepared);
    }
    lease = std::move(prepared);
    return SQLITE_OK;
}

void StatementCache::release(Lease& lease) {
    if (lease) {
        sqlite3_reset(lease->statement.get());
        sqlite3_clear_bindings(lease->statement.get());
        lease.reset();
    }
}

} // namespace SqliteSupport
