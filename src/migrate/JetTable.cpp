#include "JetTable.h"

#include "JetText.h"
#include "vault/VaultError.h"

#include <memory>
#include <optional>

void failReading(const QString& path, const QString& what) {
    throw VaultError(VaultError::EngineFailure, QStringLiteral("无法读取旧版数据文件“%1”：%2").arg(path, what));
}

namespace {

// Where a Jet 4 table definition page keeps the last AutoNumber it handed out.
constexpr int LastAutoNumberOffset = 20;
// The row offsets of a data page carry flags in their top bits.
constexpr int RowOffsetMask = 0x1fff;
constexpr int DeletedRowFlag = 0x4000;

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

struct MemoRead {
    QByteArray bytes;
    QString fault; // empty when the value was read whole
};

// A memo value: up to its 12-byte header in the row and either the rest of the row, one row on
// a page of its own, or a chain of such rows, each beginning with the place of the next. Every
// step is held to what the file declares: a value longer than the file, a chain longer than the
// file has pages or one that runs past its declared length (a chain that meets itself) is
// refused, never followed.
MemoRead memoBytes(MdbHandle* mdb, const MdbField& field, qint64 pageCount) {
    const auto* header = static_cast<const unsigned char*>(field.value);
    if (field.siz < MDB_MEMO_OVERHEAD) {
        return {{}, QStringLiteral("备注头只有 %1 字节").arg(field.siz)};
    }
    const qint64 declared = header[0] | (header[1] << 8) | (header[2] << 16);
    const unsigned char kind = header[3];
    if (declared > pageCount * mdb->fmt->pg_size) {
        return {{}, QStringLiteral("声明长度 %1 字节超过了整个文件").arg(declared)};
    }
    if (kind & 0x80) {
        QByteArray inRow(static_cast<const char*>(field.value) + MDB_MEMO_OVERHEAD, field.siz - MDB_MEMO_OVERHEAD);
        if (inRow.size() != declared) {
            return {{}, QStringLiteral("声明 %1 字节，实有 %2 字节").arg(declared).arg(inRow.size())};
        }
        return {inRow, {}};
    }
    if (kind != 0x40 && kind != 0x00) {
        return {{}, QStringLiteral("备注头的类型 0x%1 无法识别").arg(kind, 2, 16, QChar(u'0'))};
    }
    QByteArray bytes;
    quint32 next = static_cast<quint32>(mdb_get_int32(const_cast<unsigned char*>(header), 4));
    const bool chained = kind == 0x00;
    for (qint64 step = 0; next != 0; ++step) {
        if (step >= pageCount * 256) {
            return {{}, QStringLiteral("备注的页链过长")};
        }
        const qint64 page = next >> 8;
        const int row = static_cast<int>(next & 0xff);
        if (page <= 0 || page >= pageCount ||
            mdb_read_alt_pg(mdb, static_cast<unsigned long>(page)) != mdb->fmt->pg_size) {
            return {{}, QStringLiteral("备注所在的第 %1 页无法读取").arg(page)};
        }
        const unsigned char* buffer = mdb->alt_pg_buf;
        const int pageSize = static_cast<int>(mdb->fmt->pg_size);
        const int rows = mdb_get_int16(mdb->alt_pg_buf, mdb->fmt->row_count_offset);
        const int table = mdb->fmt->row_count_offset + 2;
        if (buffer[0] != 0x01 || row >= rows || table + 2 * rows > pageSize) {
            return {{}, QStringLiteral("备注所在的第 %1 页没有第 %2 行").arg(page).arg(row)};
        }
        const int begin = mdb_get_int16(mdb->alt_pg_buf, table + 2 * row) & RowOffsetMask;
        const int end = row == 0 ? pageSize : mdb_get_int16(mdb->alt_pg_buf, table + 2 * (row - 1)) & RowOffsetMask;
        const int skip = chained ? 4 : 0;
        if (begin < table + 2 * rows || end > pageSize || end - begin < skip) {
            return {{}, QStringLiteral("备注所在的第 %1 页第 %2 行的位置已损坏").arg(page).arg(row)};
        }
        if (bytes.size() + (end - begin - skip) > declared) {
            return {{}, QStringLiteral("页链超出了声明的 %1 字节").arg(declared)};
        }
        bytes.append(reinterpret_cast<const char*>(buffer) + begin + skip, end - begin - skip);
        next = chained ? static_cast<quint32>(mdb_get_int32(mdb->alt_pg_buf, begin)) : 0;
    }
    if (bytes.size() != declared) {
        return {{}, QStringLiteral("声明 %1 字节，实有 %2 字节").arg(declared).arg(bytes.size())};
    }
    return {bytes, {}};
}

QString describeRow(const QString& table, const QVariant& id) {
    return id.isNull() ? QStringLiteral("表 %1 的一行").arg(table)
                       : QStringLiteral("表 %1 中 ID 为 %2 的行").arg(table).arg(id.toLongLong());
}

// The live rows on the table's data pages, every page its usage map names checked on the way:
// libmdb passes over a page it cannot read, or that is not the table's, as if it held no rows.
qint64 liveRowsOnPages(MdbHandle* mdb, MdbTableDef* table, const QString& path, const QString& tableName,
                       qint64 pageCount) {
    const int pageSize = static_cast<int>(mdb->fmt->pg_size);
    const int offsets = mdb->fmt->row_count_offset + 2;
    qint64 live = 0;
    qint64 seen = 0;
    for (gint32 page = mdb_map_find_next(mdb, table->usage_map, static_cast<unsigned int>(table->map_sz), 0); page > 0;
         page = mdb_map_find_next(mdb, table->usage_map, static_cast<unsigned int>(table->map_sz),
                                  static_cast<guint32>(page))) {
        if (++seen > pageCount) {
            failReading(path, QStringLiteral("数据表 %1 的页表列出的页比文件的页还多。").arg(tableName));
        }
        if (page >= pageCount || mdb_read_alt_pg(mdb, static_cast<unsigned long>(page)) != pageSize) {
            failReading(path, QStringLiteral("数据表 %1 的第 %2 页不在文件中（文件只有 %3 页），其中的记录已丢失。")
                                  .arg(tableName)
                                  .arg(page)
                                  .arg(pageCount));
        }
        const unsigned char* buffer = mdb->alt_pg_buf;
        const int rows = mdb_get_int16(mdb->alt_pg_buf, mdb->fmt->row_count_offset);
        if (buffer[0] != 0x01 ||
            static_cast<unsigned long>(mdb_get_int32(mdb->alt_pg_buf, 4)) != table->entry->table_pg ||
            offsets + 2 * rows > pageSize) {
            failReading(path, QStringLiteral("数据表 %1 的第 %2 页已损坏，不是该表的数据页，其中的记录无法读取。")
                                  .arg(tableName)
                                  .arg(page));
        }
        for (int k = 0; k < rows; ++k) {
            const int offset = mdb_get_int16(mdb->alt_pg_buf, offsets + 2 * k);
            const int begin = offset & RowOffsetMask;
            if (begin < offsets + 2 * rows || begin >= pageSize) {
                failReading(
                    path, QStringLiteral("数据表 %1 的第 %2 页第 %3 行的位置已损坏。").arg(tableName).arg(page).arg(k));
            }
            if ((offset & DeletedRowFlag) == 0) {
                ++live;
            }
        }
    }
    return live;
}

} // namespace

OldTable readJetTable(MdbHandle* mdb, const QString& path, qint64 pageCount, const QString& tableName,
                      std::initializer_list<JetColumn> expectedColumns) {
    OldTable result;
    result.name = tableName;
    MdbCatalogEntry* entry = findTable(mdb, tableName);
    if (!entry) {
        failReading(path, QStringLiteral("没有数据表 %1，它不是旧版程序的数据文件。").arg(tableName));
    }
    std::unique_ptr<MdbTableDef, TableFreer> table(mdb_read_table(entry));
    if (!table || !mdb_read_columns(table.get())) {
        failReading(path, QStringLiteral("数据表 %1 的定义无法读取。").arg(tableName));
    }

    std::vector<unsigned int> indexes;
    std::vector<JetKind> kinds;
    for (const JetColumn& expectedColumn : expectedColumns) {
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
            if ((expectedColumn.kind == JetKind::Integer && !integer) ||
                (expectedColumn.kind == JetKind::Text && !text)) {
                failReading(path, QStringLiteral("数据表 %1 的列 %2 的类型（%3）不是预期的%4。")
                                      .arg(tableName, wanted)
                                      .arg(column->col_type)
                                      .arg(expectedColumn.kind == JetKind::Integer ? QStringLiteral("整数")
                                                                                   : QStringLiteral("文本")));
            }
            indexes.push_back(c);
            kinds.push_back(expectedColumn.kind);
            found = true;
            break;
        }
        if (!found) {
            failReading(path, QStringLiteral("数据表 %1 没有列 %2，它不是旧版程序的数据文件。").arg(tableName, wanted));
        }
        result.columns.append(wanted);
    }

    // Jet keeps the number of live rows in the table's definition: a copy holding fewer lost some.
    const qint64 onPages = liveRowsOnPages(mdb, table.get(), path, tableName, pageCount);
    const auto lost = [&](qint64 read) {
        failReading(path,
                    QStringLiteral("数据表 %1 的定义记有 %2 行，数据页上有 %3 行，读出 %4 行：有记录已丢失或无法读取。")
                        .arg(tableName)
                        .arg(table->num_rows)
                        .arg(onPages)
                        .arg(read));
    };
    if (onPages != static_cast<qint64>(table->num_rows)) {
        failReading(path, QStringLiteral("数据表 %1 的定义记有 %2 行，数据页上有 %3 行：有记录已丢失。")
                              .arg(tableName)
                              .arg(table->num_rows)
                              .arg(onPages));
    }
    mdb_rewind_table(table.get());
    std::vector<MdbField> fields(table->num_cols);
    while (mdb_fetch_row(table.get())) {
        if (static_cast<qint64>(result.rows.size()) >= onPages) {
            lost(static_cast<qint64>(result.rows.size()) + 1);
        }
        // The row just fetched is still on the page in mdb->pg_buf; its bytes are taken from
        // there, not from libmdb's text conversion, which ends a value at its first U+0000.
        int start = 0;
        size_t size = 0;
        if (mdb_find_row(mdb, static_cast<int>(table->cur_row) - 1, &start, &size) != 0) {
            failReading(path, QStringLiteral("数据表 %1 的一行无法定位。").arg(tableName));
        }
        mdb_crack_row(table.get(), start & RowOffsetMask, size, fields.data());

        QVariantList row;
        for (size_t k = 0; k < indexes.size(); ++k) {
            MdbColumn* column = columnAt(table.get(), indexes[k]);
            const MdbField& field = fields[indexes[k]];
            if (kinds[k] == JetKind::Integer) {
                row.append(integerValue(*column, field));
                continue;
            }
            if (field.is_null) {
                row.append(QVariant());
                continue;
            }
            const MemoRead memo =
                column->col_type == MDB_MEMO
                    ? memoBytes(mdb, field, pageCount)
                    : MemoRead{QByteArray(static_cast<const char*>(field.value), static_cast<qsizetype>(field.siz)),
                               {}};
            if (!memo.fault.isEmpty()) {
                failReading(path, QStringLiteral("%1的列 %2 的内容已损坏（%3）。")
                                      .arg(describeRow(tableName, row.value(0)), result.columns.at(k), memo.fault));
            }
            const QByteArray& bytes = memo.bytes;
            const std::optional<QString> text = decodeJetText(bytes);
            if (!text) {
                failReading(path, QStringLiteral("%1的列 %2 的内容已损坏（%3 字节无法解读为文本）。")
                                      .arg(describeRow(tableName, row.value(0)), result.columns.at(k))
                                      .arg(bytes.size()));
            }
            row.append(QVariant(*text));
        }
        result.rows.push_back(std::move(row));
    }
    if (static_cast<qint64>(result.rows.size()) != onPages) {
        lost(static_cast<qint64>(result.rows.size()));
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
