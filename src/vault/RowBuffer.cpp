#include "RowBuffer.h"

#include "Connection.h"
#include "StatementCache.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

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

RowBuffer::~RowBuffer() {
    endStatement();
}

QVariant RowBuffer::cellValue(const Cell& cell) const {
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

void RowBuffer::start(std::shared_ptr<SqliteSupport::PreparedStatement> statement) {
    m_statement = std::move(statement);
    m_columns = m_statement->columns;
}

void RowBuffer::readRows(qint64 limit, qint64 rowCount, const Connection& connection) {
    sqlite3_stmt* statement = m_statement->statement.get();
    auto columnCount = static_cast<int>(m_columns.size());
    for (qint64 read = 0;; ++read) {
        if (m_bufferStart + m_bufferRows >= rowCount) {
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
            connection.raiseEngineError(step);
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
            m_cells.reserve(static_cast<size_t>(std::min(limit, PageRows) * columnCount));
        }
        const size_t rowStart = m_cells.size();
        m_cells.resize(rowStart + static_cast<size_t>(columnCount));
        for (int c = 0; c < columnCount; ++c) {
            readCell(statement, c, m_cells[rowStart + static_cast<size_t>(c)], m_bytes);
        }
        ++m_bufferRows;
    }
}

void RowBuffer::readNextPage(qint64 rowCount, const Connection& connection) {
    m_bufferStart += m_bufferRows;
    m_bufferRows = 0;
    m_cells.clear();
    m_bytes.clear();
    readRows(PageRows, rowCount, connection);
}

void RowBuffer::readRemainingRows(qint64 rowCount, const Connection& connection) {
    while (m_statement) {
        readRows(PageRows, rowCount, connection);
    }
}

void RowBuffer::endStatement() {
    SqliteSupport::StatementCache::release(m_statement);
}

void RowBuffer::clear() {
    endStatement();
    m_columns.clear();
    // The memory of a large result goes back now: a closed result set may live on for the rest
    // of the program. A small buffer is kept for the next open, which saves the tree's thousands
    // of small queries an allocation each.
    constexpr size_t KeptBytes = 64 * 1024;
    if (m_cells.capacity() * sizeof(Cell) + m_bytes.capacity() > KeptBytes) {
        std::vector<Cell>().swap(m_cells);
        std::vector<char>().swap(m_bytes);
    } else {
        m_cells.clear();
        m_bytes.clear();
    }
    m_bufferStart = 0;
    m_bufferRows = 0;
}

qint64 RowBuffer::appendRow() {
    const qint64 position = m_bufferStart + m_bufferRows;
    m_cells.resize(m_cells.size() + static_cast<size_t>(m_columns.size()));
    ++m_bufferRows;
    return position;
}

void RowBuffer::readField(sqlite3_stmt* statement, int statementColumn, qint64 row, int column) {
    readCell(statement, statementColumn, cellAt(row, column), m_bytes);
}
