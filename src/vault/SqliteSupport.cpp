#include "SqliteSupport.h"

#include <QByteArray>

namespace SqliteSupport {

int bindValue(sqlite3_stmt* statement, int index, const QVariant& value) {
    if (!value.isValid() || value.isNull()) {
        return sqlite3_bind_null(statement, index);
    }
    switch (value.typeId()) {
    case QMetaType::QString: {
        const QString text = value.toString();
        // A null QString would hand SQLite a null pointer, which binds NULL: empty fields must
        // stay empty texts.
        static const char16_t empty[] = u"";
        const void* data = text.isEmpty() ? static_cast<const void*>(empty) : static_cast<const void*>(text.utf16());
        return sqlite3_bind_text16(statement, index, data, static_cast<int>(text.size() * 2), SQLITE_TRANSIENT);
    }
    case QMetaType::Bool:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return sqlite3_bind_int64(statement, index, value.toLongLong());
    case QMetaType::Float:
    case QMetaType::Double:
        return sqlite3_bind_double(statement, index, value.toDouble());
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return sqlite3_bind_blob(statement, index, bytes.constData(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
    }
    default: {
        const QString text = value.toString();
        return bindValue(statement, index, QVariant(text));
    }
    }
}

QVariant columnValue(sqlite3_stmt* statement, int column) {
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER:
        return QVariant(static_cast<qint64>(sqlite3_column_int64(statement, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(statement, column));
    case SQLITE_TEXT: {
        const auto* data = static_cast<const QChar*>(sqlite3_column_text16(statement, column));
        const int bytes = sqlite3_column_bytes16(statement, column);
        return QVariant(QString(data, bytes / 2));
    }
    case SQLITE_BLOB: {
        const auto* data = static_cast<const char*>(sqlite3_column_blob(statement, column));
        return QVariant(QByteArray(data, sqlite3_column_bytes(statement, column)));
    }
    default:
        return QVariant();
    }
}

int prepareOne(sqlite3* db, const QString& sql, StatementPtr& statement, bool* extraStatement) {
    if (extraStatement) {
        *extraStatement = false;
    }
    sqlite3_stmt* raw = nullptr;
    const void* tail = nullptr;
    const int rc = sqlite3_prepare16_v2(db, sql.utf16(), static_cast<int>(sql.size() * 2), &raw, &tail);
    statement.reset(raw);
    if (rc != SQLITE_OK) {
        return rc;
    }
    const auto* rest = static_cast<const QChar*>(tail);
    const auto* end = reinterpret_cast<const QChar*>(sql.utf16()) + sql.size();
    for (; rest && rest < end; ++rest) {
        if (!rest->isSpace() && *rest != u';') {
            if (extraStatement) {
                *extraStatement = true;
            }
            return SQLITE_MISUSE;
        }
    }
    if (!statement) {
        // Only blanks or comments: nothing to run.
        return SQLITE_MISUSE;
    }
    return SQLITE_OK;
}

} // namespace SqliteSupport
