#pragma once

#include <QStringList>
#include <QVariant>
#include <memory>
#include <vector>

class Connection;
struct sqlite3_stmt;
namespace SqliteSupport {
struct PreparedStatement;
}

// The rows of an open result that are held in memory, known by their position in the result, and
// the statement they are read from while rows remain to be read.
class RowBuffer {
public:
    // Rows read from the file at a time after the first ones. A result of up to this many rows is
    // read whole when it opens, so it no longer holds the file.
    static constexpr qint64 PageRows = 256;

    RowBuffer() = default;
    ~RowBuffer();
    RowBuffer(const RowBuffer&) = delete;
    RowBuffer& operator=(const RowBuffer&) = delete;

    // Reads from this statement (bound, not yet stepped) from now on; its columns are the rows'.
    void start(std::shared_ptr<SqliteSupport::PreparedStatement> statement);
    // Whether rows remain to be read from the statement.
    bool reading() const { return m_statement != nullptr; }
    // Reads up to `limit` further rows into the buffer (after the rows it holds), never beyond row
    // `rowCount`; ends the statement when the rows are all read.
    void readRows(qint64 limit, qint64 rowCount, const Connection& connection);
    // Replaces the buffer by the next page of rows.
    void readNextPage(qint64 rowCount, const Connection& connection);
    // The rest of the rows into the buffer: before the result writes to the file, so the rows it
    // has yet to show are the ones it was opened on, and no read of the file is under way.
    void readRemainingRows(qint64 rowCount, const Connection& connection);
    void endStatement();
    // Ends the statement and forgets the rows and their columns.
    void clear();

    const QStringList& columns() const { return m_columns; }
    qint64 rowsHeld() const { return m_bufferRows; }
    bool holdsRow(qint64 row) const { return row >= m_bufferStart && row < m_bufferStart + m_bufferRows; }
    // A field of a held row; Null is a null QVariant.
    QVariant value(qint64 row, int column) const { return cellValue(cellAt(row, column)); }

    // Adds a row of Nulls after the last row held, for a row the result has just written; returns
    // its position.
    qint64 appendRow();
    // Reads one column of the statement's current row into a field of a held row.
    void readField(sqlite3_stmt* statement, int statementColumn, qint64 row, int column);

private:
    // One field of a row as the file gave it. Texts and blobs live in m_bytes, so reading a row
    // costs no allocation of its own; a QString is made only for the fields the caller reads.
    struct Cell {
        qint64 number = 0; // an integer, the bits of a real, or the offset of a text or blob in m_bytes
        quint32 size = 0;  // bytes of a text (UTF-16) or blob
        quint8 type = 0;   // the engine's type code; 0 until read
    };
    const Cell& cellAt(qint64 row, int column) const {
        return m_cells[static_cast<size_t>((row - m_bufferStart) * m_columns.size() + column)];
    }
    Cell& cellAt(qint64 row, int column) {
        return m_cells[static_cast<size_t>((row - m_bufferStart) * m_columns.size() + column)];
    }
    QVariant cellValue(const Cell& cell) const;

    QStringList m_columns;
    // The statement while rows remain to be read from it.
    std::shared_ptr<SqliteSupport::PreparedStatement> m_statement;
    std::vector<Cell> m_cells; // the rows of the buffer, one after the other, m_columns.size() cells each
    std::vector<char> m_bytes;
    qint64 m_bufferStart = 0; // position of the buffer's first row in the result
    qint64 m_bufferRows = 0;
};
