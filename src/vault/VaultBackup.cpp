#include "VaultBackup.h"

#include "Connection.h"
#include "KeyedDatabase.h"
#include "SafeFile.h"
#include "SqliteSupport.h"
#include "VaultError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>

#include <algorithm>
#include <cerrno>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

using SafeFile::engineMessage;
using SafeFile::renameNoReplace;
using SafeFile::systemMessage;
using SqliteSupport::StatementPtr;

namespace {

const QRegularExpression& backupPattern() {
    static const QRegularExpression pattern(QStringLiteral("^DB-(\\d{8}-\\d{6})(?:-(\\d{1,6}))?\\.xml$"));
    return pattern;
}

[[noreturn]] void fail(const QString& folder, const QString& why) {
    throw VaultError(VaultError::EngineFailure, QStringLiteral("无法在“%1”中写入数据文件的备份：%2").arg(folder, why));
}

QString backupName(const QDateTime& when, int number) {
    const QString stamp = when.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    return number <= 1 ? QStringLiteral("DB-%1.xml").arg(stamp) : QStringLiteral("DB-%1-%2.xml").arg(stamp).arg(number);
}

const QRegularExpression& leftoverPattern() {
    static const QRegularExpression pattern(QStringLiteral("^\\.DB-(\\d{1,10})-[0-9a-f]{8}\\.part(?:-journal)?$"));
    return pattern;
}

// The copy is written under a name of its own and only then given its final name, so a backup
// name never stands for a half-written file.
class PartFile {
public:
    explicit PartFile(const QString& folder)
        : m_path(QStringLiteral("%1/.DB-%2-%3.part")
                     .arg(folder)
                     .arg(::getpid())
                     .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'))) {
        const SafeFile::Created created = SafeFile::createExclusive(m_path);
        if (created.fd < 0) {
            fail(folder, systemMessage(created.error));
        }
        m_fd = created.fd;
        m_claimed = true;
    }
    ~PartFile() {
        closeFile();
        if (m_claimed) {
            ::unlink(QFile::encodeName(m_path).constData());
        }
    }
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    const QString& path() const { return m_path; }
    int fd() const { return m_fd; }
    // Closes the file; false (errno set) when the system reports a failed write only now.
    bool closeFile() {
        const int fd = std::exchange(m_fd, -1);
        return fd < 0 || ::close(fd) == 0;
    }
    void release() { m_claimed = false; }

private:
    QString m_path;
    int m_fd = -1;
    bool m_claimed = false;
};

// Keeps the connection's read lock on its file: while it lasts no other program can change a byte
// of it, and a half-finished write of another program has been rolled back. Within a transaction
// of the caller's own the lock is taken inside it and left to the caller's end of it.
class ReadHold {
public:
    ReadHold(Connection& connection, const QString& folder) : m_db(connection.handle()) {
        if (sqlite3_get_autocommit(m_db)) {
            run("BEGIN", folder);
            m_began = true;
        }
        run("SELECT count(*) FROM sqlite_master", folder);
    }
    ~ReadHold() {
        if (m_began) {
            sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
        }
    }
    ReadHold(const ReadHold&) = delete;
    ReadHold& operator=(const ReadHold&) = delete;

private:
    void run(const char* sql, const QString& folder) {
        const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) {
            fail(folder, engineMessage(m_db, rc));
        }
    }

    sqlite3* m_db;
    bool m_began = false;
};

// The file's bytes as they lie on disk (still encrypted), read through the engine's own open file:
// a second descriptor of ours on the data file, once closed, would drop the engine's locks on it.
qint64 copyBytes(Connection& connection, PartFile& part, const QString& folder) {
    const ReadHold hold(connection, folder);
    sqlite3_file* file = nullptr;
    if (sqlite3_file_control(connection.handle(), "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || !file ||
        !file->pMethods) {
        fail(folder, QStringLiteral("无法读取数据文件。"));
    }
    sqlite3_int64 size = 0;
    int rc = file->pMethods->xFileSize(file, &size);
    if (rc != SQLITE_OK) {
        fail(folder, engineMessage(nullptr, rc));
    }
    constexpr sqlite3_int64 ChunkBytes = 1 << 20;
    QByteArray buffer(static_cast<qsizetype>(std::min(size, ChunkBytes)), Qt::Uninitialized);
    for (sqlite3_int64 offset = 0; offset < size;) {
        const int length = static_cast<int>(std::min(size - offset, ChunkBytes));
        rc = file->pMethods->xRead(file, buffer.data(), length, offset);
        if (rc != SQLITE_OK) {
            fail(folder, QStringLiteral("读取数据文件时出错（%1）。").arg(engineMessage(nullptr, rc)));
        }
        for (int done = 0; done < length;) {
            const ssize_t n = ::write(part.fd(), buffer.constData() + done, static_cast<size_t>(length - done));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                fail(folder, systemMessage(n < 0 ? errno : ENOSPC));
            }
            done += static_cast<int>(n);
        }
        offset += length;
    }
    return size;
}

// What proves a copy: its first page opens with the key, its schema holds the vault's tables, and
// it is as long as its header says. Every page is the engine's own bytes, taken under its read
// lock, so reading each one back (a quick_check, several times the copy's own cost) would only
// check the original again.
void checkOpened(sqlite3* db, const QString& schema, qint64 copiedBytes, const QString& folder) {
    const auto scalar = [&](const QString& sql) -> sqlite3_int64 {
        StatementPtr statement;
        int rc = SqliteSupport::prepareOne(db, sql, statement);
        if (rc == SQLITE_OK) {
            rc = sqlite3_step(statement.get());
        }
        if (rc != SQLITE_ROW) {
            fail(folder, QStringLiteral("备份无法用数据库密码打开（%1）。").arg(engineMessage(db, rc)));
        }
        return sqlite3_column_int64(statement.get(), 0);
    };
    const sqlite3_int64 tables =
        scalar(QStringLiteral("SELECT count(*) FROM %1.sqlite_master WHERE type = 'table' AND lower(name) IN "
                              "('quorvane_type', 'quorvane_pass', 'quorvane_login')")
                   .arg(schema));
    const sqlite3_int64 pages = scalar(QStringLiteral("PRAGMA %1.page_count").arg(schema));
    const sqlite3_int64 pageSize = scalar(QStringLiteral("PRAGMA %1.page_size").arg(schema));
    if (tables != 3 || pages * pageSize > copiedBytes) {
        fail(folder, QStringLiteral("备份未通过检查（数据表 %1 个，%2 页 × %3 字节，文件 %4 字节）。")
                         .arg(tables)
                         .arg(pages)
                         .arg(pageSize)
                         .arg(copiedBytes));
    }
}

// A backup nobody can open is worse than none: it would be trusted. The copy is attached to the
// connection itself, which opens it with the key the connection already holds; deriving the key
// again from the password would cost more than the copy. Within a transaction of the caller's no
// file can be attached, and while a result is being read the connection's schema is left alone:
// then the copy is opened on its own with the same key.
bool mayAttach(sqlite3* db) {
    if (!sqlite3_get_autocommit(db)) {
        return false;
    }
    for (sqlite3_stmt* statement = sqlite3_next_stmt(db, nullptr); statement;
         statement = sqlite3_next_stmt(db, statement)) {
        if (sqlite3_stmt_busy(statement)) {
            return false;
        }
    }
    return true;
}

void proveCopy(Connection& connection, const QString& path, qint64 copiedBytes, const QString& folder) {
    sqlite3* db = connection.handle();
    if (mayAttach(db)) {
        const QString schema = QStringLiteral("vaultry_backup_check");
        StatementPtr attach;
        int rc = SqliteSupport::prepareOne(db, QStringLiteral("ATTACH ? AS ") + schema, attach);
        if (rc == SQLITE_OK) {
            rc = SqliteSupport::bindValue(attach.get(), 1, path);
        }
        if (rc == SQLITE_OK) {
            rc = sqlite3_step(attach.get());
        }
        attach.reset();
        if (rc != SQLITE_DONE) {
            fail(folder, QStringLiteral("备份无法用数据库密码打开（%1）。").arg(engineMessage(db, rc)));
        }
        const auto detach = qScopeGuard(
            [&] { sqlite3_exec(db, ("DETACH " + schema.toUtf8()).constData(), nullptr, nullptr, nullptr); });
        checkOpened(db, schema, copiedBytes, folder);
        return;
    }
    int rc = SQLITE_OK;
    DatabasePtr copy = openKeyed(path, SQLITE_OPEN_READONLY, connection.key(), rc);
    if (rc != SQLITE_OK) {
        fail(folder, QStringLiteral("备份无法用数据库密码打开（%1）。").arg(engineMessage(copy.get(), rc)));
    }
    checkOpened(copy.get(), QStringLiteral("main"), copiedBytes, folder);
}

void syncAndClose(PartFile& part, const QString& folder) {
    if (::fsync(part.fd()) != 0 || !part.closeFile()) {
        fail(folder, systemMessage(errno));
    }
}

// A half-written copy belongs to a run that was killed, unless its process still lives (another
// program writing a backup of this folder right now).
void removeLeftovers(const QString& folder) {
    const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        const QRegularExpressionMatch match = leftoverPattern().match(name);
        if (!match.hasMatch()) {
            continue;
        }
        const pid_t pid = static_cast<pid_t>(match.captured(1).toLongLong());
        if (pid > 0 && pid != ::getpid() && (::kill(pid, 0) == 0 || errno == EPERM)) {
            continue;
        }
        ::unlink(QFile::encodeName(folder + u'/' + name).constData());
    }
}

// Gives the finished copy the first free name of its second. Never replaces a file: another run
// may have written a backup within the same second.
QString giveName(const QString& part, const QString& folder, const QDateTime& when) {
    for (int number = 1; number < 1000; ++number) {
        const QString target = folder + u'/' + backupName(when, number);
        const int error = renameNoReplace(part, target);
        if (error == 0) {
            return target;
        }
        if (error != EEXIST) {
            fail(folder, systemMessage(error));
        }
    }
    fail(folder, QStringLiteral("同一秒内的备份太多。"));
}

void makeFolder(const QString& folder) {
    if (::mkdir(QFile::encodeName(folder).constData(), S_IRWXU) != 0 && errno != EEXIST) {
        fail(folder, systemMessage(errno));
    }
    if (!QFileInfo(folder).isDir()) {
        fail(folder, QStringLiteral("这不是一个文件夹。"));
    }
}

} // namespace

namespace VaultBackup {

QString folderFor(const QString& vaultFile) {
    return QFileInfo(vaultFile).absolutePath() + QStringLiteral("/Backup");
}

bool isBackupName(const QString& fileName) {
    return backupPattern().match(fileName).hasMatch();
}

bool isLeftoverName(const QString& fileName) {
    return leftoverPattern().match(fileName).hasMatch();
}

QString write(Connection& connection, const QDateTime& when) {
    const QString folder = folderFor(connection.fileName());
    if (!connection.isOpen()) {
        fail(folder, QStringLiteral("数据库连接尚未打开。"));
    }
    makeFolder(folder);
    removeLeftovers(folder);
    PartFile part(folder);
    const qint64 copied = copyBytes(connection, part, folder);
    syncAndClose(part, folder);
    proveCopy(connection, part.path(), copied, folder);
    const QString written = giveName(part.path(), folder, when);
    part.release();
    prune(folder, KeepNewest, written);
    return written;
}

void prune(const QString& folder, int keep, const QString& spare, const QDateTime& now) {
    struct Found {
        bool lostTrackOfTime;
        qint64 madeNs;
        QString stamp;
        int number;
        QString path;
    };
    // A minute's grace: clocks of two machines sharing the folder never agree to the nanosecond.
    const qint64 nowNs = (now.toMSecsSinceEpoch() + 60000) * 1000000;
    QList<Found> backups;
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QFileInfo& entry : entries) {
        const QRegularExpressionMatch match = backupPattern().match(entry.fileName());
        struct stat status {};
        if (!match.hasMatch() || ::stat(QFile::encodeName(entry.absoluteFilePath()).constData(), &status) != 0) {
            continue;
        }
        const qint64 madeNs = qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
        const int number = match.captured(2).isEmpty() ? 1 : match.captured(2).toInt();
        backups.append({madeNs > nowNs, madeNs, match.captured(1), number, entry.absoluteFilePath()});
    }
    std::sort(backups.begin(), backups.end(), [](const Found& a, const Found& b) {
        if (a.lostTrackOfTime != b.lostTrackOfTime) {
            return b.lostTrackOfTime;
        }
        if (a.madeNs != b.madeNs) {
            return a.madeNs > b.madeNs;
        }
        return a.stamp != b.stamp ? a.stamp > b.stamp : a.number > b.number;
    });
    // The copy just written counts first, whatever its name or the clock says.
    const QString spared = spare.isEmpty() ? QString() : QFileInfo(spare).absoluteFilePath();
    std::stable_partition(backups.begin(), backups.end(), [&](const Found& backup) { return backup.path == spared; });
    for (qsizetype i = std::max(keep, 0); i < backups.size(); ++i) {
        QFile::remove(backups.at(i).path);
    }
}

std::function<void(Connection&)> beforeFirstWrite(std::function<void(const VaultError&)> report) {
    return [report = std::move(report)](Connection& connection) {
        try {
            write(connection);
        } catch (const VaultError& error) {
            if (report) {
                report(error);
            }
        } catch (const std::exception& error) {
            if (report) {
                report(VaultError::from(error));
            }
        }
    };
}

} // namespace VaultBackup
