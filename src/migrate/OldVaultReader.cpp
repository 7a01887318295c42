#include "OldVault.h"

#include "JetText.h"
#include "vault/VaultError.h"

#include <QFile>

#include <mdbtools.h>

#include <cstring>
#include <memory>

namespace {

// Where a Jet 4 table definition page keeps the last AutoNumber it handed out.
constexpr int LastAutoNumberOffset = 20;
// The row offsets of a data page carry flags in their top bits.
constexpr int RowOffsetMask = 0x1fff;

enum class Kind { Integer, Text };
struct ColumnSpec {
    const char* name;
    Kind kind;
};

[[noreturn]] void fail(const QString& path, const QString& what) {
    throw VaultError(VaultError::EngineFailure, QStringLiteral("无法读取旧版数据文件“%1”：%2").arg(path, what));
}

struct HandleCloser {
    void operator()(MdbHandle* mdb) const { mdb_close(mdb); }
};
struct TableFreer {
    void operator()(MdbTableDef* table) const { mdb_free_tabledef(table); }
};

MdbColumn* columnAt(MdbTableDef* table, unsigned int index) {
    return static_cast<MdbColumn*>(g_ptr_array_index(table->columns, index));
}

MdbCatalogEntry* findTable(MdbHandle* mdb, const QString& name) {
    for (unsigned int i = 0; mdb->catalog && i < mdb->catalog->len; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (entry->object_type == MDB_TABLE &&
            QString::fromUtf8(entry->object_name).compare(name, Qt::CaseInsensitive) == 0) {
            return entry;
        }
    }
    return nullptr;
}

QVariant integerValue(const MdbColumn& column, const MdbField& field) {
    if (field.is_null || field.value == nullptr) {
        return QVariant();
    }
    const auto* bytes = static_cast<const unsigned char*>(field.value);
    switch (column.col_type) {
    case MDB_BYTE:
        return QVariant(static_cast<qint64>(bytes[0]));
    case MDB_INT:
        return QVariant(static_cast<qint64>(static_cast<qint16>(bytes[0] | (bytes[1] << 8))));
    default: // MDB_LONGINT
        return QVariant(static_cast<qint64>(
            static_cast<qint32>(static_cast<quint32>(bytes[0]) | (static_cast<quint32>(bytes[1]) << 8) |
                                (static_cast<quint32>(bytes[2]) << 16) | (static_cast<quint32>(bytes[3]) << 24))));
    }
}

// The bytes of a memo value: kept in the row when short, else on pages of their own, which
// libmdb follows. It reads the 12-byte memo header from the column's bound buffer.
QByteArray memoBytes(MdbHandle* mdb, MdbColumn& column, const MdbField& field, bool* complete) {
    *complete = true;
    if (field.siz < MDB_MEMO_OVERHEAD) {
        return {};
    }
    const auto* header = static_cast<const unsigned char*>(field.value);
    const quint32 declared = (static_cast<quint32>(header[0]) | (static_cast<quint32>(header[1]) << 8) |
                              (static_cast<quint32>(header[2]) << 16)) &
                             0x00ffffffU;
    std::vector<char> chunk(static_cast<size_t>(mdb->fmt->pg_size) + MDB_MEMO_OVERHEAD);
    std::memcpy(chunk.data(), field.value, MDB_MEMO_OVERHEAD);
    column.bind_ptr = chunk.data();
    column.cur_value_start = field.start;
    column.cur_value_len = field.siz;
    size_t size = 0;
    void* data = mdb_ole_read_full(mdb, &column, &size);
    column.bind_ptr = nullptr;
    QByteArray bytes(static_cast<const char*>(data), static_cast<qsizetype>(size));
    std::free(data);
    *complete = bytes.size() == static_cast<qsizetype>(declared);
    return bytes;
}

QString describeRow(const QString& table, const QVariant& id) {
    return id.isNull() ? QStringLiteral("表 %1 的一行").arg(table)
                       : QStringLiteral("表 %1 中 ID 为 %2 的行").arg(table).arg(id.toLongLong());
}

OldTable readTable(MdbHandle* mdb, const QString& path, const QString& tableName,
                   std::initializer_list<ColumnSpec> expectedColumns) {
    OldTable result;
    result.name = tableName;
    MdbCatalogEntry* entry = findTable(mdb, tableName);
    if (!entry) {
        fail(path, QStringLiteral("没有数据表 %1，它不是旧版程序的数据文件。").arg(tableName));
    }
    std::unique_ptr<MdbTableDef, TableFreer> table(mdb_read_table(entry));
    if (!table || !mdb_read_columns(table.get())) {
        fail(path, QStringLiteral("数据表 %1 的定义无法读取。").arg(tableName));
    }

    std::vector<unsigned int> indexes;
    std::vector<Kind> kinds;
    for (const ColumnSpec& expectedColumn : expectedColumns) {
        const QString wanted = QString::fromLatin1(expectedColumn.name);
        bool found = false;
        for (unsigned int c = 0; c < table->num_cols; ++c) {
            MdbColumn* column = columnAt(table.get(), c);
            if (QString::fromUtf8(column->name).compare(wanted, Qt::CaseInsensitive) != 0) {
                continue;
            }
            const bool integer =
                column->col_type == MDB_BYTE || column->col_type == MDB_INT || column->col_type == MDB_LONGINT;
            const bool text = column->col_type == MDB_TEXT || column->col_type == MDB_MEMO;
            if ((expectedColumn.kind == Kind::Integer && !integer) || (expectedColumn.kind == Kind::Text && !text)) {
                fail(path,
                     QStringLiteral("数据表 %1 的列 %2 的类型（%3）不是预期的%4。")
                         .arg(tableName, wanted)
                         .arg(column->col_type)
                         .arg(expectedColumn.kind == Kind::Integer ? QStringLiteral("整数") : QStringLiteral("文本")));
            }
            indexes.push_back(c);
            kinds.push_back(expectedColumn.kind);
            found = true;
            break;
        }
        if (!found) {
            fail(path, QStringLiteral("数据表 %1 没有列 %2，它不是旧版程序的数据文件。").arg(tableName, wanted));
        }
        result.columns.append(wanted);
    }

    mdb_rewind_table(table.get());
    std::vector<MdbField> fields(table->num_cols);
    while (mdb_fetch_row(table.get())) {
        // The row just fetched is still on the page in mdb->pg_buf; its bytes are taken from
        // there, not from libmdb's text conversion, which ends a value at its first U+0000.
        int start = 0;
        size_t size = 0;
        if (mdb_find_row(mdb, static_cast<int>(table->cur_row) - 1, &start, &size) != 0) {
            fail(path, QStringLiteral("数据表 %1 的一行无法定位。").arg(tableName));
        }
        mdb_crack_row(table.get(), start & RowOffsetMask, size, fields.data());

        QVariantList row;
        for (size_t k = 0; k < indexes.size(); ++k) {
            MdbColumn* column = columnAt(table.get(), indexes[k]);
            const MdbField& field = fields[indexes[k]];
            if (kinds[k] == Kind::Integer) {
                row.append(integerValue(*column, field));
                continue;
            }
            if (field.is_null) {
                row.append(QVariant());
                continue;
            }
            bool complete = true;
            const QByteArray bytes = column->col_type == MDB_MEMO ? memoBytes(mdb, *column, field, &complete)
                                                                  : QByteArray(static_cast<const char*>(field.value),
                                                                               static_cast<qsizetype>(field.siz));
            const std::optional<QString> text = complete ? decodeJetText(bytes) : std::nullopt;
            if (!text) {
                fail(path, QStringLiteral("%1的列 %2 的内容已损坏（%3 字节无法解读为文本）。")
                               .arg(describeRow(tableName, row.value(0)), result.columns.at(k))
                               .arg(bytes.size()));
            }
            row.append(QVariant(*text));
        }
        result.rows.push_back(std::move(row));
    }

    // The counter lives in the table's definition page; only a column numbered by the engine has one.
    if (columnAt(table.get(), indexes.front())->is_long_auto &&
        mdb_read_pg(mdb, entry->table_pg) == mdb->fmt->pg_size) {
        const long last = mdb_get_int32(mdb->pg_buf, LastAutoNumberOffset);
        if (last > 0) {
            result.lastAutoNumber = last;
        }
    }
    return result;
}

} // namespace

JetHeader jetHeaderOf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return JetHeader::NotJet;
    }
    const QByteArray head = file.read(0x15);
    if (head.size() < 0x15 || head.mid(4, 15) != QByteArrayLiteral("Standard Jet DB")) {
        return JetHeader::NotJet;
    }
    switch (static_cast<unsigned char>(head.at(0x14))) {
    case MDB_VER_JET3:
        return JetHeader::Jet3;
    case MDB_VER_JET4:
        return JetHeader::Jet4;
    default:
        return JetHeader::LaterJet;
    }
}

OldVault readOldVault(const QString& path) {
    switch (jetHeaderOf(path)) {
    case JetHeader::Jet4:
        break;
    case JetHeader::NotJet:
        if (!QFile::exists(path)) {
            fail(path, QStringLiteral("文件不存在。"));
        }
        fail(path, QStringLiteral("它不是 Jet 4.0（Access 2000）数据库。"));
    default:
        fail(path, QStringLiteral("它是 Jet 数据库，但不是旧版程序所用的 Jet 4.0（Access 2000）格式。"));
    }

    std::unique_ptr<MdbHandle, HandleCloser> mdb(mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS));
    if (!mdb) {
        fail(path, QStringLiteral("文件无法打开或已损坏。"));
    }
    if (!mdb_read_catalog(mdb.get(), MDB_TABLE)) {
        fail(path, QStringLiteral("数据库的目录无法读取。"));
    }
    OldVault vault;
    vault.categories =
        readTable(mdb.get(), path, QStringLiteral("Quorvane_Type"),
                  {{"ID", Kind::Integer}, {"PID", Kind::Integer}, {"Name", Kind::Text}, {"Seq", Kind::Integer}});
    vault.entries = readTable(mdb.get(), path, QStringLiteral("Quorvane_Pass"),
                              {{"ID", Kind::Integer},
                               {"Type", Kind::Integer},
                               {"Caption", Kind::Text},
                               {"Name", Kind::Text},
                               {"Pass", Kind::Text},
                               {"Www", Kind::Text},
                               {"Remark", Kind::Text},
                               {"Sort", Kind::Text},
                               {"Seq", Kind::Integer}});
    vault.logins =
        readTable(mdb.get(), path, QStringLiteral("Quorvane_Login"), {{"ID", Kind::Integer}, {"Pass", Kind::Text}});
    return vault;
}
