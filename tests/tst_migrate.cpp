// Moving in from the old Windows program's Jet files (importvault, the start-up offer) and out to
// KeePassXC (exportvault).
#include "FakePlatform.h"
#include "ModalDriver.h"
#include "TempVault.h"
#include "TestFiles.h"
#include "app/MainWindow.h"
#include "app/frmLogin.h"
#include "controls/CategoryTree.h"
#include "migrate/ChildProcess.h"
#include "migrate/JetText.h"
#include "migrate/VaultImport.h"
#include "support/Child.h"
#include "support/SuiteGuard.h"
#include "vault/SecretCipher.h"
#include "vault/VaultError.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sqlcipher/sqlite3.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString OldDir = QStringLiteral(VAULTRY_FIXTURES_DIR "/oldvault/");

const QStringList CategoryColumns{"ID", "PID", "Name", "Seq"};
const QStringList EntryColumns{"ID", "Type", "Caption", "Name", "Pass", "Www", "Remark", "Sort", "Seq"};
const QStringList LoginColumns{"ID", "Pass"};

QJsonObject expectation(const QString& dataset) {
    return QJsonDocument::fromJson(readFile(OldDir + dataset + QStringLiteral(".json"))).object();
}

QVariant fromJson(const QJsonValue& value) {
    if (value.isNull()) {
        return QVariant();
    }
    if (value.isString()) {
        return QVariant(value.toString());
    }
    return QVariant(static_cast<qint64>(value.toInteger()));
}

std::vector<QVariantList> expectedRows(const QJsonArray& rows, const QStringList& columns) {
    std::vector<QVariantList> result;
    for (const QJsonValue& row : rows) {
        QVariantList values;
        for (const QString& column : columns) {
            values.append(fromJson(row.toObject().value(column)));
        }
        result.push_back(values);
    }
    return result;
}

// Type and content both: an integer never equals a text of its digits, Null never an empty text.
QString shown(const QVariant& value) {
    if (value.isNull()) {
        return QStringLiteral("Null");
    }
    if (value.typeId() == QMetaType::QString) {
        QString units;
        for (QChar c : value.toString()) {
            units += QString::number(c.unicode(), 16) + u' ';
        }
        return QStringLiteral("text[") + units.trimmed() + u']';
    }
    return QStringLiteral("int ") + QString::number(value.toLongLong());
}

QStringList shownRows(const std::vector<QVariantList>& rows) {
    QStringList lines;
    for (const QVariantList& row : rows) {
        QStringList cells;
        for (const QVariant& value : row) {
            cells << shown(value);
        }
        lines << cells.join(QStringLiteral(" | "));
    }
    return lines;
}

std::vector<QVariantList> vaultRows(Connection& connection, const QString& table, const QStringList& columns) {
    Recordset rows;
    rows.open(QStringLiteral("SELECT %1 FROM %2 ORDER BY ID").arg(columns.join(u','), table), connection);
    std::vector<QVariantList> result;
    while (!rows.atEnd()) {
        QVariantList values;
        for (const QString& column : columns) {
            values.append(rows.value(column));
        }
        result.push_back(values);
        rows.moveNext();
    }
    return result;
}

void openVault(Connection& connection, const QString& folder) {
    connection.setConnectionString(Connection::connectionTextFor(folder));
    connection.open();
}

// --- old files the way Access leaves them, made from the fixtures --------------------------------

void rc4(QByteArray& data, qsizetype from, qsizetype length, const QByteArray& key) {
    unsigned char state[256];
    for (int i = 0; i < 256; ++i) {
        state[i] = static_cast<unsigned char>(i);
    }
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + state[i] + static_cast<unsigned char>(key.at(i % key.size()))) & 0xff;
        std::swap(state[i], state[j]);
    }
    for (qsizetype n = 0, i = 0, j = 0; n < length; ++n) {
        i = (i + 1) & 0xff;
        j = (j + state[i]) & 0xff;
        std::swap(state[i], state[j]);
        data[from + n] = static_cast<char>(data.at(from + n) ^ state[(state[i] + state[j]) & 0xff]);
    }
}

QByteArray littleEndian32(quint32 value) {
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<char>((value >> (8 * i)) & 0xff);
    }
    return bytes;
}

// "Encrypted" by Access: every page but the first RC4-coded with the file's key XOR the page
// number; the key sits in the masked part of the first page.
QByteArray encoded(QByteArray file) {
    const QByteArray headerMask("\xC7\xDA\x39\x6B", 4);
    const quint32 key = 0x1234ABCD;
    rc4(file, 0x18, 128, headerMask);
    file.replace(0x3e, 4, littleEndian32(key));
    rc4(file, 0x18, 128, headerMask);
    for (qsizetype page = 1; page < file.size() / 4096; ++page) {
        rc4(file, page * 4096, 4096, littleEndian32(key ^ static_cast<quint32>(page)));
    }
    return file;
}

int u16(const QByteArray& bytes, qsizetype at) {
    return static_cast<unsigned char>(bytes.at(at)) | (static_cast<unsigned char>(bytes.at(at + 1)) << 8);
}

quint32 u32(const QByteArray& bytes, qsizetype at) {
    return static_cast<quint32>(u16(bytes, at)) | (static_cast<quint32>(u16(bytes, at + 2)) << 16);
}

// Where a table definition page keeps the table's number of live rows.
constexpr int TableRowCountOffset = 16;

// The row holding `marker` deleted the way Jet deletes: its record stays in the page, flagged,
// and the table's definition counts one row less.
QByteArray withRowDeleted(QByteArray file, const QByteArray& marker) {
    const qsizetype at = file.indexOf(marker);
    if (at < 0) {
        return {};
    }
    const qsizetype page = at / 4096 * 4096;
    const int rows = u16(file, page + 12);
    for (int k = 0; k < rows; ++k) {
        const int start = u16(file, page + 14 + 2 * k) & 0x1fff;
        const int end = k == 0 ? 4096 : u16(file, page + 14 + 2 * (k - 1)) & 0x1fff;
        if (start <= at - page && at - page < end) {
            file[page + 15 + 2 * k] = static_cast<char>(file.at(page + 15 + 2 * k) | 0x40);
            const qsizetype count = u32(file, page + 4) * 4096 + TableRowCountOffset;
            file.replace(count, 4, littleEndian32(u32(file, count) - 1));
            return file;
        }
    }
    return {};
}

QByteArray utf16(const QString& text) {
    return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}

// Where a table definition page keeps the place (page and row) of the table's page map.
constexpr int TableUsageMapOffset = 55;

qsizetype pageHolding(const QByteArray& file, const QByteArray& marker) {
    const qsizetype at = file.indexOf(marker);
    return at < 0 ? -1 : at / 4096;
}

QByteArray withPageZeroed(QByteArray file, qsizetype page) {
    if (page <= 0 || (page + 1) * 4096 > file.size()) {
        return {};
    }
    return file.replace(page * 4096, 4096, QByteArray(4096, '\0'));
}

// The memo of entry 3 (its header says 10 bytes, kept in the row) made to say `length` bytes on
// a chain of pages whose first link names itself: the last row of the page holding the entry
// table's page maps, spare map space in the memo fixture.
QByteArray withMemoChainedToItself(QByteArray file, quint32 length) {
    const qsizetype header = file.indexOf(QByteArray("\x0a\x00\x00\x80\0\0\0\0\0\0\0\0", 12));
    const qsizetype entries = pageHolding(file, utf16(QStringLiteral("普通账号")));
    if (header < 0 || entries < 0) {
        return {};
    }
    const qsizetype mapPage = u32(file, u32(file, entries * 4096 + 4) * 4096 + TableUsageMapOffset) >> 8;
    const int lastRow = u16(file, mapPage * 4096 + 12) - 1;
    const qsizetype row = mapPage * 4096 + (u16(file, mapPage * 4096 + 14 + 2 * lastRow) & 0x1fff);
    const QByteArray link = littleEndian32(static_cast<quint32>(mapPage << 8 | lastRow));
    file.replace(header, 8, littleEndian32(length & 0x00ffffff) + link);
    file.replace(row, 4, link);
    return file;
}

// Writes an old file of the given kind to path; false when it could not be made.
bool makeOldFile(const QString& kind, const QString& path) {
    const QByteArray typical = readFile(OldDir + QStringLiteral("typical.mdb"));
    QByteArray bytes;
    if (kind == QLatin1String("typical-encoded")) {
        bytes = encoded(typical);
    } else if (kind == QLatin1String("typical-last-deleted")) {
        // Entry 4: Caption "空", Pass ",", Sort "普通账号", stored one after the other.
        bytes = withRowDeleted(typical, utf16(QStringLiteral("空,")) + utf16(QStringLiteral("普通账号")));
    } else if (kind == QLatin1String("jet3")) {
        bytes = typical;
        bytes[0x14] = 0;
    } else if (kind == QLatin1String("no-login-table")) {
        bytes = typical;
        bytes.replace(utf16(QStringLiteral("Quorvane_Login")), utf16(QStringLiteral("Quorvane_Logon")));
    } else if (kind == QLatin1String("cut within a page")) {
        bytes = typical.left(typical.size() - 100);
    } else if (kind == QLatin1String("cut at a page boundary")) {
        bytes = typical.left(typical.size() - 2 * 4096);
    } else if (kind == QLatin1String("catalogue page zeroed")) {
        bytes = withPageZeroed(typical, pageHolding(typical, utf16(QStringLiteral("Quorvane_Pass"))));
    } else if (kind == QLatin1String("entry page zeroed")) {
        bytes = withPageZeroed(typical, pageHolding(typical, utf16(QStringLiteral("普通账号"))));
    } else if (kind == QLatin1String("entry definition zeroed")) {
        const qsizetype entries = pageHolding(typical, utf16(QStringLiteral("普通账号")));
        bytes = withPageZeroed(typical, entries < 0 ? -1 : u32(typical, entries * 4096 + 4));
    } else if (kind == QLatin1String("page map zeroed")) {
        const qsizetype entries = pageHolding(typical, utf16(QStringLiteral("普通账号")));
        bytes = withPageZeroed(
            typical,
            entries < 0 ? -1 : u32(typical, u32(typical, entries * 4096 + 4) * 4096 + TableUsageMapOffset) >> 8);
    } else if (kind == QLatin1String("root row deleted")) {
        bytes = withRowDeleted(typical, littleEndian32(1) + littleEndian32(0xffffffff) + littleEndian32(4711));
    } else if (kind == QLatin1String("login row deleted")) {
        const QJsonObject login = QJsonDocument::fromJson(readFile(OldDir + QStringLiteral("typical.json")))
                                      .object()
                                      .value("login")
                                      .toArray()
                                      .first()
                                      .toObject();
        bytes = withRowDeleted(typical, utf16(login.value(QStringLiteral("Pass")).toString()));
    } else if (kind == QLatin1String("memo chained to itself")) {
        bytes = withMemoChainedToItself(readFile(OldDir + QStringLiteral("typical-memo.mdb")), 10);
    } else if (kind == QLatin1String("memo longer than the file")) {
        bytes = withMemoChainedToItself(readFile(OldDir + QStringLiteral("typical-memo.mdb")), 0xffffff);
    } else if (kind == QLatin1String("text")) {
        bytes = "Standard Text\n";
    } else if (kind == QLatin1String("missing")) {
        return true;
    } else {
        bytes = readFile(OldDir + kind + QStringLiteral(".mdb"));
    }
    return !bytes.isEmpty() && writeFile(path, bytes);
}

QStringList folderListing(const QString& folder) {
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    for (QString& name : names) {
        name +=
            QStringLiteral(" ") +
            QString::fromLatin1(
                QCryptographicHash::hash(readFile(folder + u'/' + name), QCryptographicHash::Sha256).toHex().left(12));
    }
    return names;
}

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

Run runTool(const QString& program, const QStringList& arguments, const QByteArray& input = {},
            const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

// A disk that reports writes done which it never keeps: while it forgets, a write over what an
// import's working copy already holds is dropped. Installed as SQLite's default file layer.
class ForgetfulDisk {
public:
    ForgetfulDisk() {
        s_real = sqlite3_vfs_find(nullptr);
        s_vfs = *s_real;
        s_vfs.pNext = nullptr;
        s_vfs.zName = "forgetful";
        s_vfs.szOsFile = static_cast<int>(sizeof(File)) + s_real->szOsFile;
        s_vfs.xOpen = open;
        s_methods.iVersion = 1;
        s_methods.xClose = [](sqlite3_file* f) {
            const int rc = real(f)->pMethods->xClose(real(f));
            f->pMethods = nullptr;
            return rc;
        };
        s_methods.xRead = [](sqlite3_file* f, void* data, int amount, sqlite3_int64 offset) {
            return real(f)->pMethods->xRead(real(f), data, amount, offset);
        };
        s_methods.xWrite = [](sqlite3_file* f, const void* data, int amount, sqlite3_int64 offset) {
            sqlite3_int64 size = 0;
            if (s_forgetting && reinterpret_cast<File*>(f)->workingCopy &&
                real(f)->pMethods->xFileSize(real(f), &size) == SQLITE_OK && offset + amount <= size) {
                return SQLITE_OK;
            }
            return real(f)->pMethods->xWrite(real(f), data, amount, offset);
        };
        s_methods.xTruncate = [](sqlite3_file* f, sqlite3_int64 size) {
            return real(f)->pMethods->xTruncate(real(f), size);
        };
        s_methods.xSync = [](sqlite3_file* f, int flags) { return real(f)->pMethods->xSync(real(f), flags); };
        s_methods.xFileSize = [](sqlite3_file* f, sqlite3_int64* size) {
            return real(f)->pMethods->xFileSize(real(f), size);
        };
        s_methods.xLock = [](sqlite3_file* f, int lock) { return real(f)->pMethods->xLock(real(f), lock); };
        s_methods.xUnlock = [](sqlite3_file* f, int lock) { return real(f)->pMethods->xUnlock(real(f), lock); };
        s_methods.xCheckReservedLock = [](sqlite3_file* f, int* out) {
            return real(f)->pMethods->xCheckReservedLock(real(f), out);
        };
        s_methods.xFileControl = [](sqlite3_file* f, int op, void* arg) {
            return real(f)->pMethods->xFileControl(real(f), op, arg);
        };
        s_methods.xSectorSize = [](sqlite3_file* f) { return real(f)->pMethods->xSectorSize(real(f)); };
        s_methods.xDeviceCharacteristics = [](sqlite3_file* f) {
            return real(f)->pMethods->xDeviceCharacteristics(real(f));
        };
        sqlite3_vfs_register(&s_vfs, 1);
        s_forgetting = true;
    }
    ~ForgetfulDisk() {
        s_forgetting = false;
        sqlite3_vfs_unregister(&s_vfs);
        sqlite3_vfs_register(s_real, 1);
    }
    ForgetfulDisk(const ForgetfulDisk&) = delete;
    ForgetfulDisk& operator=(const ForgetfulDisk&) = delete;

private:
    struct File {
        sqlite3_file base;
        bool workingCopy;
    };
    static sqlite3_file* real(sqlite3_file* f) {
        return reinterpret_cast<sqlite3_file*>(reinterpret_cast<File*>(f) + 1);
    }
    static int open(sqlite3_vfs*, const char* name, sqlite3_file* f, int flags, int* outFlags) {
        auto* file = reinterpret_cast<File*>(f);
        file->base.pMethods = nullptr;
        file->workingCopy = (flags & SQLITE_OPEN_MAIN_DB) && name && QByteArray(name).contains(".DB.xml.importing-");
        const int rc = s_real->xOpen(s_real, name, real(f), flags, outFlags);
        if (real(f)->pMethods) {
            file->base.pMethods = &s_methods;
        }
        return rc;
    }

    static inline sqlite3_vfs* s_real = nullptr;
    static inline sqlite3_vfs s_vfs{};
    static inline sqlite3_io_methods s_methods{};
    static inline bool s_forgetting = false;
};

const QString ImportVault = QStringLiteral(VAULTRY_BIN_DIR "/importvault");
const QString ExportVault = QStringLiteral(VAULTRY_BIN_DIR "/exportvault");

} // namespace

class TestMigrate : public QObject {
    Q_OBJECT

private slots:
    void decodesJetText_data();
    void decodesJetText();
    void importsEveryRowExactly_data();
    void importsEveryRowExactly();
    void importRefusesAndLeavesNothing_data();
    void importRefusesAndLeavesNothing();
    void importRefusesACopyTheDiskDidNotKeep();
    void importRemovesLeftoversOfKilledImports_data();
    void importRemovesLeftoversOfKilledImports();
    void readerChildIsHeldToItsLimits_data();
    void readerChildIsHeldToItsLimits();
    void startUpOffersToConvert_data();
    void startUpOffersToConvert();
    void exportRoundTripsThroughKeePassXC();
    void exportRefuses_data();
    void exportRefuses();
};

void TestMigrate::decodesJetText_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    const QString nulFirst = QString(QChar(0)) + QStringLiteral("T");
    QTest::newRow("UTF-16, U+0000 first") << QByteArray("\0\0T\0", 4) << nulFirst << true;
    QTest::newRow("UTF-16, CJK") << utf16(QStringLiteral("邮箱")) << QStringLiteral("邮箱") << true;
    QTest::newRow("UTF-16, empty") << QByteArray() << QString() << true;
    QTest::newRow("compressed, one-byte units")
        << QByteArray("\xFF\xFEmail\xE9") << QStringLiteral("mail\u00E9") << true;
    QTest::newRow("compressed, empty") << QByteArray("\xFF\xFE") << QString() << true;
    QTest::newRow("compressed, mixed runs") << QByteArray("\xFF\xFE"
                                                          "ab\0\xAE\x90\xB1\x7B\0cd",
                                                          13)
                                            << QStringLiteral("ab邮箱cd") << true;
    QTest::newRow("compressed, ends in a two-byte run")
        << QByteArray("\xFF\xFE\"q\"\0\x2E\x95", 8) << QStringLiteral("\"q\"键") << true;
    QTest::newRow("UTF-16, odd length") << QByteArray("a\0b", 3) << QString() << false;
    QTest::newRow("compressed, half a unit at the end") << QByteArray("\xFF\xFE"
                                                                      "a\0\x2E",
                                                                      5)
                                                        << QString() << false;
}

void TestMigrate::decodesJetText() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(bool, valid);
    const std::optional<QString> decoded = decodeJetText(bytes);
    QCOMPARE(decoded.has_value(), valid);
    if (valid) {
        QCOMPARE(*decoded, text);
    }
}

void TestMigrate::importsEveryRowExactly_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("dataset");
    QTest::addColumn<QList<qint64>>("dropped");
    QTest::addColumn<qint64>("nextEntryKeyAfter");
    QTest::newRow("typical") << "typical"
                             << "typical" << QList<qint64>{} << qint64(4);
    QTest::newRow("remark as memo") << "typical-memo"
                                    << "typical-memo" << QList<qint64>{} << qint64(4);
    QTest::newRow("fresh") << "fresh"
                           << "fresh" << QList<qint64>{} << qint64(0);
    QTest::newRow("encoded pages") << "typical-encoded"
                                   << "typical" << QList<qint64>{} << qint64(4);
    // The deleted record is still in the page; its key is never handed out again.
    QTest::newRow("newest entry deleted") << "typical-last-deleted"
                                          << "typical" << QList<qint64>{4} << qint64(4);
}

void TestMigrate::importsEveryRowExactly() {
    QFETCH(QString, kind);
    QFETCH(QString, dataset);
    QFETCH(QList<qint64>, dropped);
    QFETCH(qint64, nextEntryKeyAfter);
    QTemporaryDir dir;
    const QString oldFile = dir.filePath(QStringLiteral("old.mdb"));
    QVERIFY(makeOldFile(kind, oldFile));
    const QByteArray oldBytes = readFile(oldFile);

    const Run run = runTool(ImportVault, {oldFile, dir.path()});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    const QJsonObject expected = expectation(dataset);
    const auto expectedEntries = expectedRows(expected.value(QStringLiteral("entries")).toArray(), EntryColumns);
    QVERIFY2(run.out.contains(QStringLiteral("条目 %1 个").arg(expectedEntries.size() - dropped.size())),
             qPrintable(run.out));
    QCOMPARE(readFile(oldFile), oldBytes);
    QCOMPARE(QFileInfo(dir.filePath(QStringLiteral("DB.xml"))).permissions() & (QFile::ReadOther | QFile::ReadGroup),
             QFile::Permissions());

    Connection connection;
    openVault(connection, dir.path());
    QCOMPARE(shownRows(vaultRows(connection, QStringLiteral("Quorvane_Type"), CategoryColumns)),
             shownRows(expectedRows(expected.value(QStringLiteral("categories")).toArray(), CategoryColumns)));
    QCOMPARE(shownRows(vaultRows(connection, QStringLiteral("Quorvane_Login"), LoginColumns)),
             shownRows(expectedRows(expected.value(QStringLiteral("login")).toArray(), LoginColumns)));
    std::vector<QVariantList> kept;
    for (const QVariantList& row : expectedEntries) {
        if (!dropped.contains(row.at(0).toLongLong())) {
            kept.push_back(row);
        }
    }
    QCOMPARE(shownRows(vaultRows(connection, QStringLiteral("Quorvane_Pass"), EntryColumns)), shownRows(kept));

    // The stored forms decode to what the user sees, and the next entry gets a key never used.
    for (const QJsonValue& entry : expected.value(QStringLiteral("entries")).toArray()) {
        const QJsonObject plain = entry.toObject().value(QStringLiteral("plain")).toObject();
        for (const QString& column : {QStringLiteral("Name"), QStringLiteral("Pass"), QStringLiteral("Remark")}) {
            QCOMPARE(DecodeSecret(entry.toObject().value(column).toString(), Module::SecretKey),
                     plain.value(column).toString());
        }
    }
    Recordset add;
    add.open(QStringLiteral("SELECT * FROM Quorvane_Pass WHERE ID=0"), connection);
    add.addNew();
    add.setValue(QStringLiteral("Caption"), QStringLiteral("新"));
    add.update();
    QCOMPARE(add.integer(QStringLiteral("ID")), nextEntryKeyAfter + 1);
}

void TestMigrate::importRefusesAndLeavesNothing_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("targetExists");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("DB.xml already there") << "typical" << true << 1 << "已经存在";
    QTest::newRow("not a Jet file") << "text" << false << 1 << "不是 Jet 4.0";
    QTest::newRow("Jet 3 file") << "jet3" << false << 1 << "不是旧版程序所用的 Jet 4.0";
    QTest::newRow("table missing") << "no-login-table" << false << 1 << "没有数据表 Quorvane_Login";
    QTest::newRow("old file missing") << "missing" << false << 1 << "文件不存在";
    // Damaged copies: each refused, naming the table and what is missing.
    QTest::newRow("cut within a page") << "cut within a page" << false << 1 << "不是整页（4096 字节）的倍数";
    QTest::newRow("cut at a page boundary")
        << "cut at a page boundary" << false << 1 << "Quorvane_Pass 的定义记有 4 行，数据页上有 0 行";
    QTest::newRow("catalogue page zeroed") << "catalogue page zeroed" << false << 1 << "没有数据表 Quorvane_Type";
    QTest::newRow("entry page zeroed") << "entry page zeroed" << false << 1 << "Quorvane_Pass 的第";
    QTest::newRow("entry definition zeroed")
        << "entry definition zeroed" << false << 1 << "数据表 Quorvane_Pass 的定义无法读取";
    QTest::newRow("page map zeroed") << "page map zeroed" << false << 1 << "记有 4 行，数据页上有 0 行";
    QTest::newRow("root row deleted") << "root row deleted" << false << 1 << "Quorvane_Type 缺少根分类";
    QTest::newRow("login row deleted") << "login row deleted" << false << 1 << "Quorvane_Login 缺少登录记录";
    QTest::newRow("memo chained to itself")
        << "memo chained to itself" << false << 1 << "ID 为 3 的行的列 Remark 的内容已损坏（页链超出";
    QTest::newRow("memo longer than the file")
        << "memo longer than the file" << false << 1 << "声明长度 16777215 字节超过了整个文件";
}

void TestMigrate::importRefusesAndLeavesNothing() {
    QFETCH(QString, kind);
    QFETCH(bool, targetExists);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString oldFile = dir.filePath(QStringLiteral("old.mdb"));
    QVERIFY(makeOldFile(kind, oldFile));
    const QString target = dir.filePath(QStringLiteral("new"));
    QVERIFY(QDir().mkpath(target));
    if (targetExists) {
        QVERIFY(writeFile(target + QStringLiteral("/DB.xml"), "someone's vault"));
    }
    const QStringList before = folderListing(target);
    const QStringList oldBefore = folderListing(dir.path());

    QElapsedTimer clock;
    clock.start();
    const Run run = runTool(ImportVault, {oldFile, target});
    QVERIFY2(clock.elapsed() < 4000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QCOMPARE(folderListing(target), before);
    QCOMPARE(folderListing(dir.path()), oldBefore);
    QCOMPARE(runTool(ImportVault, {oldFile}).exitCode, 2);
}

void TestMigrate::importRefusesACopyTheDiskDidNotKeep() {
    QTemporaryDir dir;
    const QString oldFile = dir.filePath(QStringLiteral("old.mdb"));
    QVERIFY(makeOldFile(QStringLiteral("typical"), oldFile));
    const QString target = dir.filePath(QStringLiteral("new"));
    QVERIFY(QDir().mkpath(target));
    QString refusal;
    try {
        const ForgetfulDisk disk;
        importOldVault(oldFile, target + QStringLiteral("/DB.xml"));
    } catch (const VaultError& error) {
        refusal = error.description();
    }
    QVERIFY2(!refusal.isEmpty(), "the import named a copy it had not read back");
    QCOMPARE(QDir(target).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
}

void TestMigrate::importRemovesLeftoversOfKilledImports_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("ownerAlive");
    QTest::addColumn<int>("ageSeconds");
    QTest::addColumn<bool>("removed");
    QTest::newRow("copy of a killed import") << ".DB.xml.importing-%1-0123abcd" << false << 3600 << true;
    QTest::newRow("its journal") << ".DB.xml.importing-%1-0123abcd-journal" << false << 3600 << true;
    QTest::newRow("killed moments ago") << ".DB.xml.importing-%1-0123abcd" << false << 0 << false;
    QTest::newRow("import still running") << ".DB.xml.importing-%1-0123abcd" << true << 3600 << false;
    QTest::newRow("a name not ours") << ".DB.xml.importing-%1-notes" << false << 3600 << false;
}

void TestMigrate::importRemovesLeftoversOfKilledImports() {
    QFETCH(QString, name);
    QFETCH(bool, ownerAlive);
    QFETCH(int, ageSeconds);
    QFETCH(bool, removed);
    pid_t owner = ::getpid();
    if (!ownerAlive) {
        owner = ::fork();
        if (owner == 0) {
            ::_exit(0);
        }
        QVERIFY(owner > 0 && ::waitpid(owner, nullptr, 0) == owner);
    }
    QTemporaryDir dir;
    const QString oldFile = dir.filePath(QStringLiteral("old.mdb"));
    QVERIFY(makeOldFile(QStringLiteral("typical"), oldFile));
    const QString target = dir.filePath(QStringLiteral("new"));
    QVERIFY(QDir().mkpath(target));
    const QString leftover = target + u'/' + name.arg(owner);
    QVERIFY(writeFile(leftover, "half a vault"));
    const timespec then{::time(nullptr) - ageSeconds, 0};
    const timespec times[2] = {then, then};
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(leftover).constData(), times, 0), 0);

    const Run run = runTool(ImportVault, {oldFile, target});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QCOMPARE(QFileInfo::exists(leftover), !removed);
}

Q_DECLARE_METATYPE(ChildOutcome::End)

void TestMigrate::readerChildIsHeldToItsLimits_data() {
    QTest::addColumn<QString>("work");
    QTest::addColumn<ChildOutcome::End>("end");
    QTest::addColumn<QByteArray>("output");
    QTest::newRow("answers") << "answer" << ChildOutcome::End::Finished << QByteArray(100000, 'x');
    QTest::newRow("never ends") << "loop" << ChildOutcome::End::TimedOut << QByteArray();
    QTest::newRow("allocates without bound") << "allocate" << ChildOutcome::End::Killed << QByteArray();
    QTest::newRow("crashes") << "crash" << ChildOutcome::End::Killed << QByteArray();
}

void TestMigrate::readerChildIsHeldToItsLimits() {
    QFETCH(QString, work);
    QFETCH(ChildOutcome::End, end);
    QFETCH(QByteArray, output);
    const auto run = [&]() -> QByteArray {
        if (work == QLatin1String("loop")) {
            for (volatile bool spinning = true; spinning;) {
            }
        } else if (work == QLatin1String("allocate")) {
            // As glib does for libmdb: take memory until none is left, then abort.
            for (;;) {
                if (::mmap(nullptr, std::size_t(64) << 20, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1,
                           0) == MAP_FAILED) {
                    std::abort();
                }
            }
        } else if (work == QLatin1String("crash")) {
            std::raise(SIGSEGV);
        }
        return output;
    };
    QElapsedTimer clock;
    clock.start();
    const ChildOutcome outcome = runInChild(run, {64LL << 20, std::chrono::seconds(2)});
    QVERIFY2(clock.elapsed() < 4000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(outcome.end, end);
    QCOMPARE(outcome.output, output);
}

void TestMigrate::startUpOffersToConvert_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<BoxAnswer>("answer");
    QTest::addColumn<bool>("converted");
    QTest::addColumn<QString>("counts");
    QTest::newRow("yes") << "typical" << BoxAnswer::Yes << true << "分类 4 个, 条目 4 个";
    QTest::newRow("no") << "typical" << BoxAnswer::No << false << "分类 4 个, 条目 4 个";
    // Nothing to ask about: the file is refused before any question.
    QTest::newRow("the file cannot be converted") << "no-login-table" << BoxAnswer::Yes << false << "";
}

void TestMigrate::startUpOffersToConvert() {
    QFETCH(QString, kind);
    QFETCH(BoxAnswer, answer);
    QFETCH(bool, converted);
    QFETCH(QString, counts);
    TempVault vault(false);
    QVERIFY(makeOldFile(kind, vault.dbPath()));
    QVERIFY(::chmod(QFile::encodeName(vault.dbPath()).constData(), 0644) == 0);
    const QByteArray oldBytes = readFile(vault.dbPath());
    const QStringList before = folderListing(vault.folder());

    FakePlatform fake;
    fake.boxes.queueAnswer(answer);
    Module module;
    Main window(module, fake.platform, vault.folder());
    QString loginMessage = QStringLiteral("login not shown");
    whenModal<frmLogin>([&](frmLogin* login) {
        child<QLineEdit>(login, QStringLiteral("txtPassword"))->setText(QStringLiteral("Tom123"));
        child<QPushButton>(login, QStringLiteral("cmdOK"))->click();
        loginMessage = child<QLabel>(login, QStringLiteral("Label1"))->text();
    });
    const bool loaded = window.load();

    QVERIFY(!fake.boxes.shown.isEmpty());
    QCOMPARE(loaded, converted);
    QCOMPARE(fake.programEnd.ended(), !converted);
    if (counts.isEmpty()) {
        QCOMPARE(folderListing(vault.folder()), before);
        QCOMPARE(fake.boxes.shown.size(), 1);
        QCOMPARE(fake.boxes.last().title, QStringLiteral("错误-2147467259"));
        QVERIFY2(fake.boxes.last().text.contains(QStringLiteral("Quorvane_Login")), qPrintable(fake.boxes.last().text));
        return;
    }
    const RecordedBox question = fake.boxes.shown.first();
    QCOMPARE(question.title, QStringLiteral("提示！"));
    QCOMPARE(question.buttons, BoxButtons::YesNo);
    QCOMPARE(question.icon, BoxIcon::Question);
    QVERIFY2(question.text.contains(QStringLiteral("DB-old-Access2000.mdb")), qPrintable(question.text));
    QVERIFY2(question.text.contains(counts), qPrintable(question.text));
    if (!converted) {
        QCOMPARE(folderListing(vault.folder()), before);
        QCOMPARE(fake.boxes.shown.size(), 1);
        return;
    }
    // Admitted with the old master password, the tree as the old program showed it.
    QCOMPARE(fake.boxes.shown.size(), 1);
    QCOMPARE(loginMessage, QString());
    QCOMPARE(module.RootSeq, qint16(4711));
    QVERIFY(!module.MustSetPassword);
    CategoryTree* tree = window.tree();
    QCOMPARE(tree->nodeByKey(2)->text(0), QStringLiteral("Web网站"));
    QCOMPARE(tree->nodeByKey(4)->parent(), tree->nodeByKey(2));
    QCOMPARE(tree->nodeByKey(3)->text(0), QStringLiteral("银行"));
    QCOMPARE(readFile(vault.folder() + QStringLiteral("/DB-old-Access2000.mdb")), oldBytes);
    struct stat kept {};
    QCOMPARE(::stat(QFile::encodeName(vault.folder() + QStringLiteral("/DB-old-Access2000.mdb")).constData(), &kept),
             0);
    QCOMPARE(kept.st_mode & 0777u, 0600u);
    QStringList names = QDir(vault.folder()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    QCOMPARE(names, QStringList({QStringLiteral("DB-old-Access2000.mdb"), QStringLiteral("DB.xml"),
                                 QStringLiteral("DB.xml.lock")}));
}

void TestMigrate::exportRoundTripsThroughKeePassXC() {
    const QString cli = QStandardPaths::findExecutable(QStringLiteral("keepassxc-cli"));
    QVERIFY2(!cli.isEmpty(), "keepassxc-cli is missing: scripts/setup installs it (package keepassxc)");
    QTemporaryDir dir;
    const QString oldFile = dir.filePath(QStringLiteral("old.mdb"));
    QVERIFY(makeOldFile(QStringLiteral("typical"), oldFile));
    QCOMPARE(runTool(ImportVault, {oldFile, dir.path()}).exitCode, 0);

    // Beside the fixture's entries, one with what XML must escape and a remark in Windows lines.
    QJsonArray entries = expectation(QStringLiteral("typical")).value(QStringLiteral("entries")).toArray();
    {
        Connection connection;
        openVault(connection, dir.path());
        const QString caption = QStringLiteral("\"引号\" & <尖括号>");
        const QString name = QStringLiteral("O'Brien \"q\"");
        const QString pass = QStringLiteral("Tavernix@#Tavernix@#");
        const QString remark = QStringLiteral("第一行\r\n第二行\t]]>");
        connection.execute(
            QStringLiteral("INSERT INTO Quorvane_Pass (Type, Caption, Name, Pass, Www, Remark, Sort, Seq) "
                           "VALUES (4, ?, ?, ?, 'a&b', ?, '网络账号', 1)"),
            {caption, EncodeSecret(name, Module::SecretKey), EncodeSecret(pass, Module::SecretKey),
             EncodeSecret(remark, Module::SecretKey)});
        entries.append(QJsonObject{{"Type", 4},
                                   {"Caption", caption},
                                   {"Www", "a&b"},
                                   {"Sort", "网络账号"},
                                   {"plain", QJsonObject{{"Name", name}, {"Pass", pass}, {"Remark", remark}}}});
    }

    const QString xml = dir.filePath(QStringLiteral("out.xml"));
    const Run exported = runTool(ExportVault, {dir.path(), xml}, "Tom123\n");
    QVERIFY2(exported.exitCode == 0, qPrintable(exported.err));
    struct stat status {};
    QCOMPARE(::stat(QFile::encodeName(xml).constData(), &status), 0);
    QCOMPARE(status.st_mode & 0777u, 0600u);

    // keepassxc-cli keeps settings in HOME; it reads passwords from standard input when that is no terminal.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), dir.filePath(QStringLiteral("home")));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("home/.config")));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), dir.filePath(QStringLiteral("home/.cache")));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("home/.local/share")));
    const QString kdbx = dir.filePath(QStringLiteral("new.kdbx"));
    const Run imported = runTool(cli,
                                 {QStringLiteral("import"), QStringLiteral("-q"), QStringLiteral("-p"),
                                  QStringLiteral("-t"), QStringLiteral("100"), xml, kdbx},
                                 "kx\nkx\n", environment);
    QVERIFY2(imported.exitCode == 0, qPrintable(imported.err));

    const QMap<qint64, QString> groupPath{
        {2, QStringLiteral("Web网站/")}, {3, QStringLiteral("银行/")}, {4, QStringLiteral("Web网站/邮箱/")}};
    for (const QJsonValue& value : entries) {
        const QJsonObject entry = value.toObject();
        const QJsonObject plain = entry.value(QStringLiteral("plain")).toObject();
        const QStringList expected{
            entry.value(QStringLiteral("Caption")).toString(), plain.value(QStringLiteral("Name")).toString(),
            plain.value(QStringLiteral("Pass")).toString(), entry.value(QStringLiteral("Www")).toString(),
            // KeePassXC keeps notes with LF line ends, whatever the file says.
            plain.value(QStringLiteral("Remark")).toString().replace(QStringLiteral("\r\n"), QStringLiteral("\n")),
            entry.value(QStringLiteral("Sort")).toString()};
        const QString path = groupPath.value(entry.value(QStringLiteral("Type")).toInteger()) + expected.first();
        const Run shownEntry =
            runTool(cli,
                    {QStringLiteral("show"), QStringLiteral("-q"), QStringLiteral("-s"), QStringLiteral("-a"),
                     QStringLiteral("Title"), QStringLiteral("-a"), QStringLiteral("UserName"), QStringLiteral("-a"),
                     QStringLiteral("Password"), QStringLiteral("-a"), QStringLiteral("URL"), QStringLiteral("-a"),
                     QStringLiteral("Notes"), QStringLiteral("-a"), QStringLiteral("类型"), kdbx, path},
                    "kx\n", environment);
        QVERIFY2(shownEntry.exitCode == 0, qPrintable(path + shownEntry.err));
        QCOMPARE(shownEntry.out, expected.join(u'\n') + u'\n');
    }
}

void TestMigrate::exportRefuses_data() {
    QTest::addColumn<QString>("arrange");
    QTest::addColumn<QByteArray>("typed");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("wrong password") << "typical" << QByteArray("tom123\n") << 1 << "密码有误";
    QTest::newRow("right password, no line end") << "typical" << QByteArray("Tom123") << 0 << "条目 4 个";
    QTest::newRow("outfile exists") << "typical+outfile" << QByteArray("Tom123\n") << 1 << "已经存在";
    QTest::newRow("fresh vault, empty password") << "fresh" << QByteArray("\n") << 0 << "条目 0 个";
    QTest::newRow("entries but no master password") << "fresh+entry" << QByteArray("\n") << 1 << "密码有误";
    QTest::newRow("a character XML cannot carry") << "typical+control" << QByteArray("Tom123\n") << 1 << "U+0001";
    QTest::newRow("no vault") << "none" << QByteArray("\n") << 1 << "找不到数据文件";
}

void TestMigrate::exportRefuses() {
    QFETCH(QString, arrange);
    QFETCH(QByteArray, typed);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString dataset = arrange.section(u'+', 0, 0);
    if (dataset != QLatin1String("none")) {
        QVERIFY(makeOldFile(dataset, dir.filePath(QStringLiteral("old.mdb"))));
        QCOMPARE(runTool(ImportVault, {dir.filePath(QStringLiteral("old.mdb")), dir.path()}).exitCode, 0);
    }
    const QString xml = dir.filePath(QStringLiteral("out.xml"));
    if (arrange.endsWith(QLatin1String("+outfile"))) {
        QVERIFY(writeFile(xml, "keep me"));
    }
    if (arrange.endsWith(QLatin1String("+entry")) || arrange.endsWith(QLatin1String("+control"))) {
        Connection connection;
        openVault(connection, dir.path());
        connection.execute(QStringLiteral("INSERT INTO Quorvane_Pass (Type, Caption, Name, Pass, Www, Remark, Sort, "
                                          "Seq) VALUES (1, 'x', '', ?, '', '', '普通账号', 1)"),
                           {EncodeSecret(QStringLiteral("a\u0001b"), Module::SecretKey)});
    }
    const QStringList before = folderListing(dir.path());

    const Run run = runTool(ExportVault, {dir.path(), xml}, typed);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2((run.out + run.err).contains(message), qPrintable(run.out + run.err));
    if (exitCode != 0) {
        QCOMPARE(folderListing(dir.path()), before);
    } else {
        QVERIFY(QFile::exists(xml));
    }
}

VAULTRY_TEST_MAIN(TestMigrate)
#include "tst_migrate.moc"
