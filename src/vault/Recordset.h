#pragma once

#include "RowBuffer.h"
// The scopes record sets are read and written in, for the callers that know them from here.
#include "ReadingScope.h"
#include "WriteTransaction.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <utility>
#include <vector>

class Connection;

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
    // without a current row, OperationNotAllowed for a column the result does not have.
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

    const QStringList& columns() const { return m_rows.columns(); }

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
    qint64 countRows(const QString& unorderedSql, const std::vector<qint64>& literals);

    Connection* m_connection = nullptr;
    QString m_sql;
    QString m_sourceTable; // the table a row is added to or changed in; empty when there is none
    RowBuffer m_rows;
    qint64 m_rowCount = 0;
    qint64 m_position = 0;
    bool m_adding = false;
    std::vector<std::pair<int, QVariant>> m_pending; // column index, value
};
