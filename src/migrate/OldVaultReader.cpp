#include "OldVault.h"

#include "ChildProcess.h"
#include "JetText.h"
#include "vault/VaultError.h"

#include <QFile>
#include <QFileInfo>

#include <mdbtools.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

namespace {

// Where a Jet 4 table definition page keeps the last AutoNumber it handed out.
constexpr int LastAutoNumberOffset = 20;
// The row offsets of a data page carry flags in their top bits.
constexpr int RowOffsetMask = 0x1fff;
constexpr int DeletedRowFlag = 0x4000;

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
            fail(path, QStringLiteral("数据表 %1 的页表列出的页比文件的页还多。").arg(tableName));
        }
        if (page >= pageCount || mdb_read_alt_pg(mdb, static_cast<unsigned long>(page)) != pageSize) {
            fail(path, QStringLiteral("数据表 %1 的第 %2 页不在文件中（文件只有 %3 页），其中的记录已丢失。")
                           .arg(tableName)
                           .arg(page)
                           .arg(pageCount));
        }
        const unsigned char* buffer = mdb->alt_pg_buf;
        const int rows = mdb_get_int16(mdb->alt_pg_buf, mdb->fmt->row_count_offset);
        if (buffer[0] != 0x01 ||
            static_cast<unsigned long>(mdb_get_int32(mdb->alt_pg_buf, 4)) != table->entry->table_pg ||
            offsets + 2 * rows > pageSize) {
            fail(path, QStringLiteral("数据表 %1 的第 %2 页已损坏，不是该表的数据页，其中的记录无法读取。")
                           .arg(tableName)
                           .arg(page));
        }
        for (int k = 0; k < rows; ++k) {
            const int offset = mdb_get_int16(mdb->alt_pg_buf, offsets + 2 * k);
            const int begin = offset & RowOffsetMask;
            if (begin < offsets + 2 * rows || begin >= pageSize) {
                fail(path,
                     QStringLiteral("数据表 %1 的第 %2 页第 %3 行的位置已损坏。").arg(tableName).arg(page).arg(k));
            }
            if ((offset & DeletedRowFlag) == 0) {
                ++live;
            }
        }
    }
    return live;
}

OldTable readTable(MdbHandle* mdb, const QString& path, qint64 pageCount, const QString& tableName,
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

    // Jet keeps the number of live rows in the table's definition: a copy holding fewer lost some.
    const qint64 onPages = liveRowsOnPages(mdb, table.get(), path, tableName, pageCount);
    const auto lost = [&](qint64 read) {
        fail(path, QStringLiteral("数据表 %1 的定义记有 %2 行，数据页上有 %3 行，读出 %4 行：有记录已丢失或无法读取。")
                       .arg(tableName)
                       .arg(table->num_rows)
                       .arg(onPages)
                       .arg(read));
    };
    if (onPages != static_cast<qint64>(table->num_rows)) {
        fail(path, QStringLiteral("数据表 %1 的定义记有 %2 行，数据页上有 %3 行：有记录已丢失。")
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
            const MemoRead memo =
                column->col_type == MDB_MEMO
                    ? memoBytes(mdb, field, pageCount)
                    : MemoRead{QByteArray(static_cast<const char*>(field.value), static_cast<qsizetype>(field.siz)),
                               {}};
            if (!memo.fault.isEmpty()) {
                fail(path, QStringLiteral("%1的列 %2 的内容已损坏（%3）。")
                               .arg(describeRow(tableName, row.value(0)), result.columns.at(k), memo.fault));
            }
            const QByteArray& bytes = memo.bytes;
            const std::optional<QString> text = decodeJetText(bytes);
            if (!text) {
                fail(path, QStringLiteral("%1的列 %2 的内容已损坏（%3 字节无法解读为文本）。")
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

namespace {

// How a table's rows cross from the reading child to the program: each value a tag byte, then
// its number or its UTF-16 units.
enum Tag : char { NullValue = 'N', IntegerValue = 'I', TextValue = 'T', VaultRead = 'V', ReadFailed = 'E' };

void putNumber(QByteArray& out, qint64 value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

void putText(QByteArray& out, const QString& text) {
    putNumber(out, text.size());
    out.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}

void putTable(QByteArray& out, const OldTable& table) {
    putText(out, table.name);
    putNumber(out, table.columns.size());
    for (const QString& column : table.columns) {
        putText(out, column);
    }
    putNumber(out, table.lastAutoNumber);
    putNumber(out, static_cast<qint64>(table.rows.size()));
    for (const QVariantList& row : table.rows) {
        for (const QVariant& value : row) {
            if (value.isNull()) {
                out.append(NullValue);
            } else if (value.typeId() == QMetaType::QString) {
                out.append(TextValue);
                putText(out, value.toString());
            } else {
                out.append(IntegerValue);
                putNumber(out, value.toLongLong());
            }
        }
    }
}

// Reads what putTable wrote; any shortfall means the child did not finish its answer.
class Reader {
public:
    explicit Reader(const QByteArray& bytes) : m_bytes(bytes) {}

    bool ok() const { return m_ok; }

    char tag() {
        if (!take(1)) {
            return 0;
        }
        return m_bytes.at(m_at - 1);
    }

    qint64 number() {
        qint64 value = 0;
        if (take(sizeof value)) {
            std::memcpy(&value, m_bytes.constData() + m_at - sizeof value, sizeof value);
        }
        return value;
    }

    QString text() {
        const qint64 units = number();
        if (units < 0 || units > (m_bytes.size() - m_at) / 2 || !take(units * 2)) {
            m_ok = false;
            return {};
        }
        return QString(reinterpret_cast<const QChar*>(m_bytes.constData() + m_at - units * 2), units);
    }

    OldTable table() {
        OldTable table;
        table.name = text();
        const qint64 columns = number();
        for (qint64 c = 0; m_ok && c < columns; ++c) {
            table.columns.append(text());
        }
        table.lastAutoNumber = number();
        const qint64 rows = number();
        for (qint64 r = 0; m_ok && r < rows; ++r) {
            QVariantList row;
            for (qint64 c = 0; m_ok && c < columns; ++c) {
                switch (tag()) {
                case NullValue:
                    row.append(QVariant());
                    break;
                case IntegerValue:
                    row.append(QVariant(number()));
                    break;
                case TextValue:
                    row.append(QVariant(text()));
                    break;
                default:
                    m_ok = false;
                }
            }
            table.rows.push_back(std::move(row));
        }
        return table;
    }

private:
    bool take(qint64 size) {
        if (!m_ok || size > m_bytes.size() - m_at) {
            m_ok = false;
            return false;
        }
        m_at += size;
        return true;
    }

    const QByteArray& m_bytes;
    qint64 m_at = 0;
    bool m_ok = true;
};

bool hasRow(const OldTable& table, qint64 id, std::optional<qint64> parent) {
    return std::any_of(table.rows.begin(), table.rows.end(), [&](const QVariantList& row) {
        return !row.at(0).isNull() && row.at(0).toLongLong() == id &&
               (!parent || (!row.at(1).isNull() && row.at(1).toLongLong() == *parent));
    });
}

OldVault readTables(MdbHandle* mdb, const QString& path, qint64 pageCount) {
    if (!mdb_read_catalog(mdb, MDB_TABLE)) {
        fail(path, QStringLiteral("数据库的目录无法读取。"));
    }
    OldVault vault;
    vault.categories =
        readTable(mdb, path, pageCount, QStringLiteral("Quorvane_Type"),
                  {{"ID", Kind::Integer}, {"PID", Kind::Integer}, {"Name", Kind::Text}, {"Seq", Kind::Integer}});
    vault.entries = readTable(mdb, path, pageCount, QStringLiteral("Quorvane_Pass"),
                              {{"ID", Kind::Integer},
                               {"Type", Kind::Integer},
                               {"Caption", Kind::Text},
                               {"Name", Kind::Text},
                               {"Pass", Kind::Text},
                               {"Www", Kind::Text},
                               {"Remark", Kind::Text},
                               {"Sort", Kind::Text},
                               {"Seq", Kind::Integer}});
    vault.logins = readTable(mdb, path, pageCount, QStringLiteral("Quorvane_Login"),
                             {{"ID", Kind::Integer}, {"Pass", Kind::Text}});
    // Without these two rows the converted vault could never be opened: the login needs both.
    if (!hasRow(vault.categories, 1, -1)) {
        fail(path, QStringLiteral("数据表 Quorvane_Type 缺少根分类（ID 为 1、PID 为 -1 的行）。"));
    }
    if (!hasRow(vault.logins, 1, std::nullopt)) {
        fail(path, QStringLiteral("数据表 Quorvane_Login 缺少登录记录（ID 为 1 的行）。"));
    }
    return vault;
}

QByteArray readInChild(MdbHandle* mdb, const QString& path, qint64 pageCount) {
    QByteArray out;
    try {
        const OldVault vault = readTables(mdb, path, pageCount);
        out.append(VaultRead);
        for (const OldTable* table : {&vault.categories, &vault.entries, &vault.logins}) {
            putTable(out, *table);
        }
    } catch (const VaultError& error) {
        out.clear();
        out.append(ReadFailed);
        putNumber(out, error.number());
        putText(out, error.description());
    } catch (const std::bad_alloc&) {
        out.clear();
        out.append(ReadFailed);
        putNumber(out, VaultError::EngineFailure);
        putText(out, QStringLiteral("无法读取旧版数据文件“%1”：读取所需的内存超出了限制，文件可能已损坏。").arg(path));
    }
    return out;
}

} // namespace

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
    // Jet writes whole pages only: a ragged end is a copy that was cut short.
    const qint64 size = QFileInfo(path).size();
    const qint64 pageSize = mdb->fmt->pg_size;
    if (size % pageSize != 0) {
        fail(path, QStringLiteral("文件大小 %1 字节不是整页（%2 字节）的倍数，文件不完整。").arg(size).arg(pageSize));
    }
    const qint64 pageCount = size / pageSize;

    // libmdb follows what a damaged file says without bounds of its own, so it reads in a child
    // that may be stopped: the file is opened here, the parsing happens there.
    ChildLimits limits;
    limits.extraMemoryBytes = 256LL * 1024 * 1024 + 8 * size;
    limits.time = std::chrono::seconds(5 + size / (1024 * 1024));
    const ChildOutcome outcome = runInChild([&] { return readInChild(mdb.get(), path, pageCount); }, limits);
    switch (outcome.end) {
    case ChildOutcome::End::TimedOut:
        fail(path, QStringLiteral("读取在 %1 秒内没有结束，已中止：文件已损坏（例如备注的页链首尾相连）。")
                       .arg(limits.time.count()));
    case ChildOutcome::End::Killed:
        fail(path, outcome.signal != 0 ? QStringLiteral("读取进程因信号 %1 而中止：文件已损坏。").arg(outcome.signal)
                                       : QStringLiteral("读取进程异常结束（例如所需内存超出了限制）：文件已损坏。"));
    case ChildOutcome::End::Finished:
        break;
    }
    Reader reader(outcome.output);
    const char tag = reader.tag();
    if (tag == ReadFailed) {
        const long number = static_cast<long>(reader.number());
        const QString description = reader.text();
        if (reader.ok()) {
            throw VaultError(number, description);
        }
    } else if (tag == VaultRead) {
        OldVault vault;
        vault.categories = reader.table();
        vault.entries = reader.table();
        vault.logins = reader.table();
        if (reader.ok()) {
            return vault;
        }
    }
    fail(path, QStringLiteral("读取进程的答复不完整。"));
}
