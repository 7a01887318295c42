#include "OldVault.h"

#include "ChildProcess.h"
#include "JetTable.h"
#include "vault/VaultError.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

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

struct HandleCloser {
    void operator()(MdbHandle* mdb) const { mdb_close(mdb); }
};

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
        failReading(path, QStringLiteral("数据库的目录无法读取。"));
    }
    OldVault vault;
    vault.categories = readJetTable(
        mdb, path, pageCount, QStringLiteral("Quorvane_Type"),
        {{"ID", JetKind::Integer}, {"PID", JetKind::Integer}, {"Name", JetKind::Text}, {"Seq", JetKind::Integer}});
    vault.entries = readJetTable(mdb, path, pageCount, QStringLiteral("Quorvane_Pass"),
                                 {{"ID", JetKind::Integer},
                                  {"Type", JetKind::Integer},
                                  {"Caption", JetKind::Text},
                                  {"Name", JetKind::Text},
                                  {"Pass", JetKind::Text},
                                  {"Www", JetKind::Text},
                                  {"Remark", JetKind::Text},
                                  {"Sort", JetKind::Text},
                                  {"Seq", JetKind::Integer}});
    vault.logins = readJetTable(mdb, path, pageCount, QStringLiteral("Quorvane_Login"),
                                {{"ID", JetKind::Integer}, {"Pass", JetKind::Text}});
    // Without these two rows the converted vault could never be opened: the login needs both.
    if (!hasRow(vault.categories, 1, -1)) {
        failReading(path, QStringLiteral("数据表 Quorvane_Type 缺少根分类（ID 为 1、PID 为 -1 的行）。"));
    }
    if (!hasRow(vault.logins, 1, std::nullopt)) {
        failReading(path, QStringLiteral("数据表 Quorvane_Login 缺少登录记录（ID 为 1 的行）。"));
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
            failReading(path, QStringLiteral("文件不存在。"));
        }
        failReading(path, QStringLiteral("它不是 Jet 4.0（Access 2000）数据库。"));
    default:
        failReading(path, QStringLiteral("它是 Jet 数据库，但不是旧版程序所用的 Jet 4.0（Access 2000）格式。"));
    }

    std::unique_ptr<MdbHandle, HandleCloser> mdb(mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS));
    if (!mdb) {
        failReading(path, QStringLiteral("文件无法打开或已损坏。"));
    }
    // Jet writes whole pages only: a ragged end is a copy that was cut short.
    const qint64 size = QFileInfo(path).size();
    const qint64 pageSize = mdb->fmt->pg_size;
    if (size % pageSize != 0) {
        failReading(path,
                    QStringLiteral("文件大小 %1 字节不是整页（%2 字节）的倍数，文件不完整。").arg(size).arg(pageSize));
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
        failReading(path, QStringLiteral("读取在 %1 秒内没有结束，已中止：文件已损坏（例如备注的页链首尾相连）。")
                              .arg(limits.time.count()));
    case ChildOutcome::End::Killed:
        failReading(path, outcome.signal != 0
                              ? QStringLiteral("读取进程因信号 %1 而中止：文件已损坏。").arg(outcome.signal)
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
    failReading(path, QStringLiteral("读取进程的答复不完整。"));
}
