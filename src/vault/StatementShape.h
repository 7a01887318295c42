#pragma once

#include <QString>

#include <vector>

namespace SqliteSupport {

// A SELECT text seen as its shape: the whole-number literals of its top-level WHERE clause taken
// out as parameters, so that texts which differ only in a key ("... Where PID =7 ...") share one
// prepared statement. A literal and a bound whole number compare alike (neither has an affinity),
// so the rows are the ones the text asks for. Nothing else is touched: literals in the result
// columns would rename them, and "Order by 1" names a column, not a value.
struct StatementShape {
    QString sql;                  // the text to prepare: the given one, or the shape with "?" marks
    std::vector<qint64> literals; // the values for the marks, in order
    // How much of `sql` gives the same rows without their order, for counting them:
    // "SELECT count(*) FROM (<that>)". An ORDER BY at the end changes no count but keeps the
    // engine from merging the two queries, and so from counting from an index alone.
    qsizetype unorderedLength = 0;
    QString unordered() const { return sql.left(unorderedLength); }
};
StatementShape shapeOf(const QString& sql);

} // namespace SqliteSupport
