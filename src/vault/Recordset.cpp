#include "Recordset.h"

#include "Connection.h"
#include "FieldConversion.h"
#include "StatementCache.h"
#include "StatementShape.h"
#include "VaultError.h"

#include <algorithm>
#include <limits>

namespace {

// Rows read when a result opens: enough for most levels of the category tree, one entry or one
// category, which then need no count of their own; few enough that counting the entries (the
// login) does not read the rows it does not need.
constexpr qint64 FirstRows = 32;

[[noreturn]] void raiseNoCurrentRow() {
    throw VaultError(VaultError::NoCurrentRow, QStringLiteral("BOF 或 EOF 中有一个是“真”，或者当前的记录已被删除，"
                                                              "所需的操作要求一个当前的记录。"));
}

[[noreturn]] void raiseNotOpen() {
    throw VaultError(VaultError::OperationNotAllowed, QStringLiteral("记录集没有打开，不能进行此操作。"));
}

} // namespace

Recordset::~Recordset() = default;

void Recordset::open(const QString& sql, Connection& connection) {
    close();
    if (!connection.isOpen()) {
        throw VaultError(VaultError::EngineFailure, QStringLiteral("数据库连接尚未打开，无法打开记录集。"));
    }
    SqliteSupport::StatementCache& cache = connection.statementCache();
    const SqliteSupport::StatementShape shape = SqliteSupport::shapeOf(sql);
    SqliteSupport::StatementCache::Lease prepared;
    bool extra = false;
    int rc = cache.acquire(shape.sql, prepared, &extra);
    if (rc != SQLITE_OK && shape.sql != sql) {
        // The error is told about the text as the caller wrote it.
        rc = cache.acquire(sql, prepared, &extra);
    }
    if (extra) {
        throw VaultError(VaultError::EngineFailure, QStringLiteral("记录集只能打开一条语句：%1").arg(sql));
    }
    if (rc != SQLITE_OK) {
        connection.raiseEngineError(rc);
    }
    sqlite3_stmt* statement = prepared->statement.get();
    // A result set reads; a statement that writes would be run by the first step.
    if (!sqlite3_stmt_readonly(statement) || sqlite3_column_count(statement) == 0) {
        SqliteSupport::StatementCache::release(prepared);
        throw VaultError(VaultError::EngineFailure, QStringLiteral("记录集只能打开 SELECT 语句：%1").arg(sql));
    }
    for (size_t i = 0; i < shape.literals.size(); ++i) {
        sqlite3_bind_int64(statement, static_cast<int>(i + 1), shape.literals[i]);
    }

    m_connection = &connection;
    m_sql = sql;
    m_sourceTable = prepared->sourceTable;
    m_rows.start(std::move(prepared));
    try {
        m_rowCount = std::numeric_limits<qint64>::max();
        m_rows.readRows(FirstRows, m_rowCount, connection);
        if (m_rows.reading()) {
            // More rows than that: the engine counts them while this statement holds the file.
            const qint64 counted = countRows(shape.unordered(), shape.literals);
            if (counted >= 0) {
                m_rowCount = counted;
            }
            if (counted < 0 || counted <= RowBuffer::PageRows) {
                m_rows.readRemainingRows(m_rowCount, connection);
            }
        }
        if (!m_rows.reading()) {
            m_rowCount = std::min(m_rowCount, m_rows.rowsHeld());
        }
    } catch (...) {
        close();
        throw;
    }
}

qint64 Recordset::countRows(const QString& unorderedSql, const std::vector<qint64>& literals) {
    SqliteSupport::StatementCache::Lease counter;
    const QString sql = QStringLiteral("SELECT count(*) FROM (") + unorderedSql + QStringLiteral("\n)");
    if (m_connection->statementCache().acquire(sql, counter) != SQLITE_OK) {
        return -1; // not a SELECT the engine can take as a subquery: its rows are counted here
    }
    sqlite3_stmt* statement = counter->statement.get();
    for (size_t i = 0; i < literals.size(); ++i) {
        sqlite3_bind_int64(statement, static_cast<int>(i + 1), literals[i]);
    }
    const int step = sqlite3_step(statement);
    if (step != SQLITE_ROW) {
        SqliteSupport::StatementCache::release(counter);
        m_connection->raiseEngineError(step);
    }
    const qint64 count = sqlite3_column_int64(statement, 0);
    SqliteSupport::StatementCache::release(counter);
    return count;
}

void Recordset::close() {
    m_rows.clear();
    m_connection = nullptr;
    m_sql.clear();
    m_sourceTable.clear();
    m_rowCount = 0;
    m_position = 0;
    m_adding = false;
    m_pending.clear();
}

qint64 Recordset::recordCount() const {
    requireOpen();
    return m_rowCount;
}

bool Recordset::atEnd() const {
    requireOpen();
    return !m_adding && !(m_position < m_rowCount && m_rows.holdsRow(m_position));
}

void Recordset::moveNext() {
    requireOpen();
    // Moving away from an edited row writes it first, as the classic record set did.
    if (m_adding || !m_pending.empty()) {
        update();
    }
    if (m_position >= m_rowCount) {
        raiseNoCurrentRow();
    }
    ++m_position;
    if (m_rows.reading() && !m_rows.holdsRow(m_position)) {
        m_rows.readNextPage(m_rowCount, *m_connection);
    }
}

QVariant Recordset::value(const QString& column) const {
    const int index = columnIndex(column);
    for (const auto& [pendingIndex, pendingValue] : m_pending) {
        if (pendingIndex == index) {
            return pendingValue;
        }
    }
    if (m_adding) {
        return QVariant();
    }
    requireCurrentRow();
    return m_rows.value(m_position, index);
}

QString Recordset::text(const QString& column) const {
    return FieldConversion::toText(value(column), column);
}

qint64 Recordset::integer(const QString& column) const {
    return FieldConversion::toInteger(value(column), column);
}

qint16 Recordset::int16(const QString& column) const {
    return FieldConversion::toInt16(value(column), column);
}

int Recordset::columnIndex(const QString& column) const {
    requireOpen();
    const QStringList& columns = m_rows.columns();
    const auto count = static_cast<int>(columns.size());
    // The names the program asks for are nearly always spelt as the table spells them.
    for (int c = 0; c < count; ++c) {
        if (columns.at(c) == column) {
            return c;
        }
    }
    for (int c = 0; c < count; ++c) {
        if (columns.at(c).compare(column, Qt::CaseInsensitive) == 0) {
            return c;
        }
    }
    throw VaultError(VaultError::OperationNotAllowed, QStringLiteral("记录集中没有名为“%1”的列。").arg(column));
}

void Recordset::requireOpen() const {
    if (!m_connection) {
        raiseNotOpen();
    }
}

void Recordset::requireCurrentRow() const {
    requireOpen();
    if (m_position < 0 || m_position >= m_rowCount || !m_rows.holdsRow(m_position)) {
        raiseNoCurrentRow();
    }
}
