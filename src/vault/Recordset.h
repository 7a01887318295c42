#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <vector>

class Connection;
namespace SqliteSupport {
struct PreparedStatement;
}

// A result set over one SELECT, in the manner of a keyset cursor: the exact row count is
// known as soon as it is open, the cursor starts on the first row, and a result of a
// single-table SELECT can add a row or change the current one.
//
// Rows are read from the file as the cursor reaches them, a page at a time, so that a large
// result costs neither the time nor the memory of copying it whole. A result that fits in the
// first page is read completely when it opens, and the file is free again at once; a larger one
// is counted by the engine (the same SELECT, counted) while its first page is held, so the
// count and the rows come from the same state of the file, which no other program can change
// until the last row is read or the result is closed.
//
// Values are QVariants: a Null column is a null QVariant, an empty text is an empty QString,
// so the two can always be told apart. Column names are matched without regard to case.
class Recordset {
public:
    Recordset() = default;
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    void open(const QString& sql, Connection& connection);
    void close();
    bool isOpen() const { return m_connection != nullptr; }

    qint64 recordCount() const;
    // True when the cursor stands on no row (past the end, or an empty result).
    bool atEnd() const;
    void moveNext();

    // The current row's value of a column; Null is a null QVariant. Throws NoCurrentRow
    // without a current row, EngineFailure for a column the result does not have.
    QVariant value(const QString& column) const;
    // Typed reads: a Null throws InvalidUseOfNull; a number outside 16 bits throws Overflow.
    QString text(const QString& column) const;
    qint64 integer(const QString& column) const;
    qint16 int16(const QString& column) const;

    // Assigns a value to a column of the current (or newly added) row; written by update().
    void setValue(const QString& column, const QVariant& value);

    // Starts a new row of the SELECT's table; the columns assigned afterwards are written by
    // update(), which makes the new row (with the key the database gave it) the current row.
    void addNew();
    void update();

    const QStringList& columns() const { return m_columns; }

private:
    int columnIndex(const QString& column) const;
    void requireOpen() const;
    void requireCurrentRow() const;
    QString tableForUpdate() const;
    void insertNewRow(const QString& table);
    void updateCurrentRow(const QString& table);
    // Reads the row of `table` whose `keyColumn` is `key` back into the row at `position`,
    // matching columns by name, so the values are what the file now holds.
    void rereadRow(const QString& table, const QString& keyColumn, qint64 key, qint64 position);
    // Reads up to `limit` further rows into the buffer (after the rows it holds), never more than
    // the count; ends the statement when the rows are all read.
    void readRows(qint64 limit);
    // Replaces the buffer by the next page of rows.
    void readNextPage();
    // The rest of the rows into the buffer: before the result writes to the file, so the rows it
    // has yet to show are the ones it was opened on, and no read of the file is under way.
    void readRemainingRows();
    void endStatement();
    qint64 countRows(const QString& unorderedSql, const std::vector<qint64>& literals);

    // One field of a row as the file gave it. Texts and blobs live in m_bytes, so reading a row
    // costs no allocation of its own; a QString is made only for the fields the caller reads.
    struct Cell {
        qint64 number = 0; // an integer, the bits of a real, or the offset of a text or blob in m_bytes
        quint32 size = 0;  // bytes of a text (UTF-16) or blob
        quint8 type = 0;   // the engine's type code; 0 until read
    };
    // A row the buffer holds, by its position in the result.
    const Cell& cellAt(qint64 row, int column) const {
        return m_cells[static_cast<size_t>((row - m_bufferStart) * m_columns.size() + column)];
    }
    Cell& cellAt(qint64 row, int column) {
        return m_cells[static_cast<size_t>((row - m_bufferStart) * m_columns.size() + column)];
    }
    bool holdsRow(qint64 row) const { return row >= m_bufferStart && row < m_bufferStart + m_bufferRows; }
    QVariant cellValue(const Cell& cell) const;

    Connection* m_connection = nullptr;
    QString m_sql;
    QString m_sourceTable; // the table a row is added to or changed in; empty when there is none
    QStringList m_columns;
    // The statement while rows remain to be read from it.
    std::shared_ptr<SqliteSupport::PreparedStatement> m_statement;
    std::vector<Cell> m_cells; // the rows of the buffer, one after the other, m_columns.size() cells each
    std::vector<char> m_bytes;
    qint64 m_bufferStart = 0; // position of the buffer's first row in the result
    qint64 m_bufferRows = 0;
    qint64 m_rowCount = 0;
    qint64 m_position = 0;
    bool m_adding = false;
    std::vector<std::pair<int, QVariant>> m_pending; // column index, value
};

// Holds the file in one state while it lives: the record sets opened meanwhile on the connection
// read that state, without each of them taking the file and giving it back (which, for a tree of
// thousands of categories read with as many small queries, costs more than the reading). Writes
// on the connection still go through at once. Another program cannot write to the file until it
// ends, so it lives no longer than one burst of reading.
class ReadingScope {
public:
    explicit ReadingScope(Connection& connection);
    ~ReadingScope();
    ReadingScope(const ReadingScope&) = delete;
    ReadingScope& operator=(const ReadingScope&) = delete;

private:
    std::shared_ptr<SqliteSupport::PreparedStatement> m_statement;
};

// Makes the reads and the writes of one operation a whole: from its start no other program can
// write to the file, so what the operation read is still so when it writes, and nothing it wrote
// stays unless commit() is reached (an error or an early return undoes it all).
class WriteTransaction {
public:
    explicit WriteTransaction(Connection& connection);
    ~WriteTransaction();
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;

    void commit();

private:
    Connection& m_connection;
    bool m_open = false;
};
