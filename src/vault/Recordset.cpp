#include "Recordset.h"

#include "Connection.h"
#include "SqliteSupport.h"
#include "VaultError.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

using SqliteSupport::StatementPtr;

namespace {

// Rows read when a result opens: enough for most levels of the category tree, one entry or one
// category, which then need no count of their own; few enough that counting the entries (the
// login) does not read the rows it does not need.
constexpr qint64 firstRows = 32;
// Rows read from the file at a time after that. A result of up to this many rows is read whole
// when it opens, so it no longer holds the file.
constexpr qint64 pageRows = 256;

QString quotedName(const QString& name) {
    QString quoted = name;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

[[noreturn]] void raiseNoCurrentRow() {
    throw VaultError(VaultError::NoCurrentRow, QStringLiteral("BOF 或 EOF 中有一个是“真”，或者当前的记录已被删除，"
                                                              "所需的操作要求一个当前的记录。"));
}

[[noreturn]] void raiseNotOpen() {
    throw VaultError(VaultError::EngineFailure, QStringLiteral("记录集没有打开，不能进行此操作。"));
}

[[noreturn]] void raiseNull(const QString& column) {
    throw VaultError(VaultError::InvalidUseOfNull, QStringLiteral("无效使用 Null：列“%1”的值为 Null。").arg(column));
}

[[noreturn]] void raiseTypeMismatch(const QString& column, const QString& detail) {
    throw VaultError(VaultError::TypeMismatch,
                     QStringLiteral("类型不匹配：列“%1”的值“%2”不是数字。").arg(column, detail));
}

// The whole-number value of a field, as a conversion of the value to a number would give it.
qint64 wholeNumber(const QVariant& value, const QString& column) {
    switch (value.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::Long:
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::Bool:
        return value.toLongLong();
    case QMetaType::Float:
    case QMetaType::Double: {
        // Halves go to the even neighbour, as the classic conversion to an integer does.
        const double rounded = std::nearbyint(value.toDouble());
        if (!(rounded >= -9223372036854775808.0 && rounded < 9223372036854775808.0)) {
            throw VaultError(VaultError::Overflow,
                             QStringLiteral("溢出：列“%1”的值 %2 超出整数的范围。").arg(column).arg(value.toDouble()));
        }
        return static_cast<qint64>(rounded);
    }
    case QMetaType::QString: {
        const QString text = value.toString().trimmed();
        bool ok = false;
        const qint64 number = text.toLongLong(&ok);
        if (ok) {
            return number;
        }
        const double real = text.toDouble(&ok);
        if (ok) {
            return wholeNumber(QVariant(real), column);
        }
        raiseTypeMismatch(column, value.toString());
    }
    default:
        raiseTypeMismatch(column, value.toString());
    }
}

// Reads one column of the statement's current row into a cell, its text or blob into bytes.
template <typename Cell> void readCell(sqlite3_stmt* statement, int column, Cell& cell, std::vector<char>& bytes) {
    const int type = sqlite3_column_type(statement, column);
    cell.type = static_cast<quint8>(type);
    cell.size = 0;
    switch (type) {
    case SQLITE_INTEGER:
        cell.number = sqlite3_column_int64(statement, column);
        break;
    case SQLITE_FLOAT: {
        const double real = sqlite3_column_double(statement, column);
        static_assert(sizeof real == sizeof cell.number);
        std::memcpy(&cell.number, &real, sizeof real);
        break;
    }
    case SQLITE_TEXT:
    case SQLITE_BLOB: {
        const void* data =
            type == SQLITE_TEXT ? sqlite3_column_text16(statement, column) : sqlite3_column_blob(statement, column);
        const int size =
            type == SQLITE_TEXT ? sqlite3_column_bytes16(statement, column) : sqlite3_column_bytes(statement, column);
        cell.number = static_cast<qint64>(bytes.size());
        cell.size = static_cast<quint32>(size);
        const auto* first = static_cast<const char*>(data);
        bytes.insert(bytes.end(), first, first + size);
        break;
    }
    default:
        break;
    }
}

} // namespace

Recordset::~Recordset() {
    endStatement();
}

QVariant Recordset::cellValue(const Cell& cell) const {
    switch (cell.type) {
    case SQLITE_INTEGER:
        return QVariant(cell.number);
    case SQLITE_FLOAT: {
        double real = 0;
        std::memcpy(&real, &cell.number, sizeof real);
        return QVariant(real);
    }
    case SQLITE_TEXT: {
        // The bytes of a text are a whole number of UTF-16 units, but not necessarily aligned.
        QString text(static_cast<qsizetype>(cell.size / 2), Qt::Uninitialized);
        std::memcpy(text.data(), m_bytes.data() + cell.number, cell.size);
        return QVariant(text);
    }
    case SQLITE_BLOB:
        return QVariant(QByteArray(m_bytes.data() + cell.number, static_cast<qsizetype>(cell.size)));
    default:
        return QVariant();
    }
}

void Recordset::open(const QString& sql, Connection& connection) {
    close();
    if (!connection.isOpen()) {
        throw VaultError(VaultError::EngineFailure, QStringLiteral("数据库连接尚未打开，无法打开记录集。"));
    }
    SqliteSupport::StatementCache& cache = connection.statementCache();
    const SqliteSupport::StatementShape shape = SqliteSupport::shapeOf(sql);
    bool extra = false;
    int rc = cache.acquire(shape.sql, m_statement, &extra);
    if (rc != SQLITE_OK && shape.sql != sql) {
        // The error is told about the text as the caller wrote it.
        rc = cache.acquire(sql, m_statement, &extra);
    }
    if (extra) {
        throw VaultError(VaultError::EngineFailure, QStringLiteral("记录集只能打开一条语句：%1").arg(sql));
    }
    if (rc != SQLITE_OK) {
        connection.raiseEngineError(rc);
    }
    sqlite3_stmt* statement = m_statement->statement.get();
    // A result set reads; a statement that writes would be run by the first step.
    if (!sqlite3_stmt_readonly(statement) || sqlite3_column_count(statement) == 0) {
        SqliteSupport::StatementCache::release(m_statement);
        throw VaultError(VaultError::EngineFailure, QStringLiteral("记录集只能打开 SELECT 语句：%1").arg(sql));
    }
    for (size_t i = 0; i < shape.literals.size(); ++i) {
        sqlite3_bind_int64(statement, static_cast<int>(i + 1), shape.literals[i]);
    }

    m_connection = &connection;
    m_sql = sql;
    m_columns = m_statement->columns;
    m_sourceTable = m_statement->sourceTable;
    try {
        m_rowCount = std::numeric_limits<qint64>::max();
        readRows(firstRows);
        if (m_statement) {
            // More rows than that: the engine counts them while this statement holds the file.
            const qint64 counted = countRows(shape.unordered(), shape.literals);
            if (counted >= 0) {
                m_rowCount = counted;
            }
            if (counted < 0 || counted <= pageRows) {
                readRemainingRows();
            }
        }
        if (!m_statement) {
            m_rowCount = std::min(m_rowCount, m_bufferRows);
        }
    } catch (...) {
        close();
        throw;
    }
}

void Recordset::readRows(qint64 limit) {
    sqlite3_stmt* statement = m_statement->statement.get();
    auto columnCount = static_cast<int>(m_columns.size());
    for (qint64 read = 0;; ++read) {
        if (m_bufferStart + m_bufferRows >= m_rowCount) {
            endStatement(); // the rows counted are all read
            return;
        }
        if (read >= limit) {
            return;
        }
        const int step = sqlite3_step(statement);
        if (step == SQLITE_DONE) {
            endStatement();
            return;
        }
        if (step != SQLITE_ROW) {
            endStatement();
            m_connection->raiseEngineError(step);
        }
        if (sqlite3_column_count(statement) != columnCount) {
            // The schema changed and the engine prepared the statement again.
            QStringList columns;
            for (int c = 0; c < sqlite3_column_count(statement); ++c) {
                columns.append(QString(static_cast<const QChar*>(sqlite3_column_name16(statement, c))));
            }
            m_statement->columns = columns;
            m_columns = columns;
            columnCount = static_cast<int>(columns.size());
            m_cells.clear();
            m_bytes.clear();
            m_bufferStart += m_bufferRows;
            m_bufferRows = 0;
        }
        if (m_cells.empty()) {
            m_cells.reserve(static_cast<size_t>(std::min(limit, pageRows) * columnCount));
        }
        const size_t rowStart = m_cells.size();
        m_cells.resize(rowStart + static_cast<size_t>(columnCount));
        for (int c = 0; c < columnCount; ++c) {
            readCell(statement, c, m_cells[rowStart + static_cast<size_t>(c)], m_bytes);
        }
        ++m_bufferRows;
    }
}

void Recordset::readNextPage() {
    m_bufferStart += m_bufferRows;
    m_bufferRows = 0;
    m_cells.clear();
    m_bytes.clear();
    readRows(pageRows);
}

void Recordset::readRemainingRows() {
    while (m_statement) {
        readRows(pageRows);
    }
}

void Recordset::endStatement() {
    SqliteSupport::StatementCache::release(m_statement);
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
    endStatement();
    m_connection = nullptr;
    m_sql.clear();
    m_sourceTable.clear();
    m_columns.clear();
    // The memory of a large result goes back now: a closed result set may live on for the rest
    // of the program. A small buffer is kept for the next open, which saves the tree's thousands
    // of small queries an allocation each.
    constexpr size_t keptBytes = 64 * 1024;
    if (m_cells.capacity() * sizeof(Cell) + m_bytes.capacity() > keptBytes) {
        std::vector<Cell>().swap(m_cells);
        std::vector<char>().swap(m_bytes);
    } else {
        m_cells.clear();
        m_bytes.clear();
    }
    m_bufferStart = 0;
    m_bufferRows = 0;
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
    return !m_adding && !(m_position < m_rowCount && holdsRow(m_position));
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
    if (m_statement && !holdsRow(m_position)) {
        readNextPage();
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
    return cellValue(cellAt(m_position, index));
}

QString Recordset::text(const QString& column) const {
    const QVariant v = value(column);
    if (v.isNull()) {
        raiseNull(column);
    }
    switch (v.typeId()) {
    case QMetaType::QString:
        return v.toString();
    case QMetaType::LongLong:
        return QString::number(v.toLongLong());
    case QMetaType::Double:
        return QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QMetaType::QByteArray:
        return QString::fromUtf8(v.toByteArray());
    default:
        return v.toString();
    }
}

qint64 Recordset::integer(const QString& column) const {
    const QVariant v = value(column);
    if (v.isNull()) {
        raiseNull(column);
    }
    return wholeNumber(v, column);
}

qint16 Recordset::int16(const QString& column) const {
    const qint64 number = integer(column);
    if (number < std::numeric_limits<qint16>::min() || number > std::numeric_limits<qint16>::max()) {
        throw VaultError(
            VaultError::Overflow,
            QStringLiteral("溢出：列“%1”的值 %2 超出 16 位整数的范围（-32768 到 32767）。").arg(column).arg(number));
    }
    return static_cast<qint16>(number);
}

void Recordset::setValue(const QString& column, const QVariant& value) {
    const int index = columnIndex(column);
    if (!m_adding) {
        requireCurrentRow();
    }
    for (auto& [pendingIndex, pendingValue] : m_pending) {
        if (pendingIndex == index) {
            pendingValue = value;
            return;
        }
    }
    m_pending.emplace_back(index, value);
}

void Recordset::addNew() {
    requireOpen();
    tableForUpdate(); // refuses a result that cannot take a row before anything is assigned
    if (m_adding || !m_pending.empty()) {
        update();
    }
    m_adding = true;
}

void Recordset::update() {
    requireOpen();
    if (!m_adding) {
        requireCurrentRow();
        if (m_pending.empty()) {
            return;
        }
    }
    const QString table = tableForUpdate();
    readRemainingRows();
    if (m_adding) {
        insertNewRow(table);
    } else {
        updateCurrentRow(table);
    }
    m_adding = false;
    m_pending.clear();
}

void Recordset::insertNewRow(const QString& table) {
    QString sql;
    if (m_pending.empty()) {
        sql = QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(quotedName(table));
    } else {
        QStringList names;
        QStringList marks;
        for (const auto& pending : m_pending) {
            names.append(quotedName(m_columns.at(pending.first)));
            marks.append(QStringLiteral("?"));
        }
        sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                  .arg(quotedName(table), names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
    }
    QVariantList parameters;
    for (const auto& pending : m_pending) {
        parameters.append(pending.second);
    }
    m_connection->execute(sql, parameters);
    const qint64 rowid = sqlite3_last_insert_rowid(m_connection->handle());

    // The new row joins the result after its last row and becomes the current row, with the key
    // the database gave it.
    const qint64 position = m_bufferStart + m_bufferRows;
    m_cells.resize(m_cells.size() + static_cast<size_t>(m_columns.size()));
    ++m_bufferRows;
    m_rowCount = position + 1;
    m_position = position;
    rereadRow(table, QStringLiteral("rowid"), rowid, position);
}

void Recordset::updateCurrentRow(const QString& table) {
    const int idIndex = columnIndex(QStringLiteral("ID"));
    const QVariant id = cellValue(cellAt(m_position, idIndex));
    if (id.typeId() != QMetaType::LongLong) {
        throw VaultError(VaultError::EngineFailure,
                         QStringLiteral("当前记录没有有效的 ID，无法更新表“%1”。").arg(table));
    }
    QStringList assignments;
    QVariantList parameters;
    qint64 newId = id.toLongLong();
    for (const auto& [index, newValue] : m_pending) {
        assignments.append(quotedName(m_columns.at(index)) + QStringLiteral(" = ?"));
        parameters.append(newValue);
        if (index == idIndex) {
            newId = newValue.toLongLong();
        }
    }
    parameters.append(id);
    m_connection->execute(
        QStringLiteral("UPDATE %1 SET %2 WHERE ID = ?").arg(quotedName(table), assignments.join(QStringLiteral(", "))),
        parameters);
    if (sqlite3_changes(m_connection->handle()) == 0) {
        throw VaultError(
            VaultError::NoCurrentRow,
            QStringLiteral("要更新的记录（表“%1”，ID %2）已不在数据文件“%3”中，可能已被删除；没有写入任何内容。")
                .arg(table)
                .arg(id.toLongLong())
                .arg(m_connection->fileName()));
    }
    rereadRow(table, QStringLiteral("ID"), newId, m_position);
}

void Recordset::rereadRow(const QString& table, const QString& keyColumn, qint64 key, qint64 position) {
    sqlite3* db = m_connection->handle();
    StatementPtr statement;
    int rc = SqliteSupport::prepareOne(
        db, QStringLiteral("SELECT * FROM %1 WHERE %2 = ?").arg(quotedName(table), keyColumn), statement);
    if (rc != SQLITE_OK) {
        m_connection->raiseEngineError(rc);
    }
    sqlite3_bind_int64(statement.get(), 1, key);
    rc = sqlite3_step(statement.get());
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        m_connection->raiseEngineError(rc);
    }
    const int fileColumns = rc == SQLITE_ROW ? sqlite3_column_count(statement.get()) : 0;
    for (int c = 0; c < m_columns.size(); ++c) {
        Cell& cell = cellAt(position, c);
        for (int f = 0; f < fileColumns; ++f) {
            const QString name(static_cast<const QChar*>(sqlite3_column_name16(statement.get(), f)));
            if (name.compare(m_columns.at(c), Qt::CaseInsensitive) == 0) {
                readCell(statement.get(), f, cell, m_bytes);
                break;
            }
        }
    }
}

int Recordset::columnIndex(const QString& column) const {
    requireOpen();
    const auto count = static_cast<int>(m_columns.size());
    // The names the program asks for are nearly always spelt as the table spells them.
    for (int c = 0; c < count; ++c) {
        if (m_columns.at(c) == column) {
            return c;
        }
    }
    for (int c = 0; c < count; ++c) {
        if (m_columns.at(c).compare(column, Qt::CaseInsensitive) == 0) {
            return c;
        }
    }
    throw VaultError(VaultError::EngineFailure, QStringLiteral("记录集中没有名为“%1”的列。").arg(column));
}

void Recordset::requireOpen() const {
    if (!m_connection) {
        raiseNotOpen();
    }
}

void Recordset::requireCurrentRow() const {
    requireOpen();
    if (m_position < 0 || m_position >= m_rowCount || !holdsRow(m_position)) {
        raiseNoCurrentRow();
    }
}

QString Recordset::tableForUpdate() const {
    requireOpen();
    // Rows can be added or changed only in the one table of a plain SELECT: a join, a grouping
    // or a computed result has no single row of the file to write to.
    if (m_sourceTable.isEmpty()) {
        throw VaultError(VaultError::EngineFailure,
                         QStringLiteral("只有单表查询的记录集才能添加或更新记录：%1").arg(m_sql));
    }
    return m_sourceTable;
}

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
