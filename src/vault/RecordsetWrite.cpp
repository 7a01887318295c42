// The writing half of Recordset: assigned values, added rows and their way into the file.
#include "Recordset.h"

#include "Connection.h"
#include "SqliteSupport.h"
#include "VaultError.h"

using SqliteSupport::StatementPtr;

namespace {

QString quotedName(const QString& name) {
    QString quoted = name;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

} // namespace

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
    m_rows.readRemainingRows(m_rowCount, *m_connection);
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
            names.append(quotedName(m_rows.columns().at(pending.first)));
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
    const qint64 position = m_rows.appendRow();
    m_rowCount = position + 1;
    m_position = position;
    rereadRow(table, QStringLiteral("rowid"), rowid, position);
}

void Recordset::updateCurrentRow(const QString& table) {
    const int idIndex = columnIndex(QStringLiteral("ID"));
    const QVariant id = m_rows.value(m_position, idIndex);
    if (id.typeId() != QMetaType::LongLong) {
        throw VaultError(VaultError::EngineFailure,
                         QStringLiteral("当前记录没有有效的 ID，无法更新表“%1”。").arg(table));
    }
    QStringList assignments;
    QVariantList parameters;
    qint64 newId = id.toLongLong();
    for (const auto& [index, newValue] : m_pending) {
        assignments.append(quotedName(m_rows.columns().at(index)) + QStringLiteral(" = ?"));
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
    const QStringList& columns = m_rows.columns();
    for (int c = 0; c < columns.size(); ++c) {
        for (int f = 0; f < fileColumns; ++f) {
            const QString name(static_cast<const QChar*>(sqlite3_column_name16(statement.get(), f)));
            if (name.compare(columns.at(c), Qt::CaseInsensitive) == 0) {
                m_rows.readField(statement.get(), f, position, c);
                break;
            }
        }
    }
}

QString Recordset::tableForUpdate() const {
    requireOpen();
    // Rows can be added or changed only in the one table of a plain SELECT: a join, a grouping
    // or a computed result has no single row of the file to write to.
    if (m_sourceTable.isEmpty()) {
        throw VaultError(VaultError::OperationNotAllowed,
                         QStringLiteral("只有单表查询的记录集才能添加或更新记录：%1").arg(m_sql));
    }
    return m_sourceTable;
}
