#include "VaultBackup.h"

#include "Connection.h"
#include "SqliteSupport.h"
#include "VaultError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using SqliteSupport::StatementPtr;

namespace {

const QRegularExpression& backupPattern() {
    static const QRegularExpression pattern(QStringLiteral("^DB-(\\d{8}-\\d{6})(?:-(\\d{1,6}))?\\.xml$"));
    return pattern;
}

QString systemMessage(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

[[noreturn]] void fail(const QString& folder, const QString& why) {
    throw VaultError(VaultError::EngineFailure, QStringLiteral("无法在“%1”中写入数据文件的备份：%2").arg(folder, why));
}

QString backupName(const QDateTime& when, int number) {
    const QString stamp = when.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    return number <= 1 ? QStringLiteral("DB-%1.xml").arg(stamp) : QStringLiteral("DB-%1-%2.xml").arg(stamp).arg(number);
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
        const QByteArray name = QFile::encodeName(m_path);
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
        if (fd < 0) {
            fail(folder, systemMessage(errno));
        }
        // The umask may take away more than group and other bits; the mode must be exact.
        ::fchmod(fd, S_IRUSR | S_IWUSR);
        ::close(fd);
        m_claimed = true;
    }
    ~PartFile() {
        if (m_claimed) {
            ::unlink(QFile::encodeName(m_path).constData());
        }
        ::unlink(QFile::encodeName(m_path + QStringLiteral("-journal")).constData());
    }
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    const QString& path() const { return m_path; }
    void release() { m_claimed = false; }

private:
    QString m_path;
    bool m_claimed = false;
};

struct DatabaseCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using DatabasePtr = std::unique_ptr<sqlite3, DatabaseCloser>;

DatabasePtr openKeyed(const QString& path, int flags, const QByteArray& key, int& rc) {
    sqlite3* db = nullptr;
    rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db, flags, nullptr);
    DatabasePtr owned(db);
    if (rc == SQLITE_OK) {
        rc = sqlite3_key(db, key.constData(), static_cast<int>(key.size()));
    }
    return owned;
}

QString engineMessage(sqlite3* db, int rc) {
    return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
}

void copyInto(Connection& connection, const QString& target, const QByteArray& key, const QString& folder) {
    int rc = SQLITE_OK;
    DatabasePtr copy = openKeyed(target, SQLITE_OPEN_READWRITE, key, rc);
    if (rc != SQLITE_OK) {
        fail(folder, engineMessage(copy.get(), rc));
    }
    // One step for the whole file: the engine holds the original's read lock throughout, so the
    // copy is of one consistent state even while another program writes.
    sqlite3_backup* backup = sqlite3_backup_init(copy.get(), "main", connection.handle(), "main");
    if (!backup) {
        fail(folder, engineMessage(copy.get(), SQLITE_ERROR));
    }
    const int stepped = sqlite3_backup_step(backup, -1);
    rc = sqlite3_backup_finish(backup);
    if (stepped != SQLITE_DONE) {
        fail(folder, QString::fromUtf8(sqlite3_errstr(stepped)));
    }
    if (rc != SQLITE_OK) {
        fail(folder, engineMessage(copy.get(), rc));
    }
    rc = sqlite3_close(copy.release());
    if (rc != SQLITE_OK) {
        fail(folder, QString::fromUtf8(sqlite3_errstr(rc)));
    }
}

// A backup nobody can open is worse than none: it would be trusted. Open it the way the program
// opens the vault and let the engine check every page.
void proveCopy(const QString& path, const QByteArray& key, const QString& folder) {
    int rc = SQLITE_OK;
    DatabasePtr copy = openKeyed(path, SQLITE_OPEN_READONLY, key, rc);
    StatementPtr check;
    if (rc == SQLITE_OK) {
        rc = SqliteSupport::prepareOne(copy.get(), QStringLiteral("PRAGMA quick_check"), check);
    }
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(check.get());
    }
    if (rc != SQLITE_ROW) {
        fail(folder, QStringLiteral("备份无法用数据库密码打开（%1）。").arg(engineMessage(copy.get(), rc)));
    }
    const QString verdict = SqliteSupport::columnValue(check.get(), 0).toString();
    if (verdict != QStringLiteral("ok")) {
        fail(folder, QStringLiteral("备份未通过检查（%1）。").arg(verdict));
    }
}

void syncFile(const QString& path, const QString& folder) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        const int error = errno;
        if (fd >= 0) {
            ::close(fd);
        }
        fail(folder, systemMessage(error));
    }
    ::close(fd);
}

// Gives the finished copy the first free name of its second. Never replaces a file: another run
// may have written a backup within the same second.
QString giveName(const QString& part, const QString& folder, const QDateTime& when) {
    const QByteArray from = QFile::encodeName(part);
    for (int number = 1; number < 1000; ++number) {
        const QString target = folder + u'/' + backupName(when, number);
        const QByteArray to = QFile::encodeName(target);
        if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0) {
            return target;
        }
        int error = errno;
        if (error == EINVAL || error == ENOSYS) {
            // A file system without the no-replace rename: a hard link also refuses an existing name.
            if (::link(from.constData(), to.constData()) == 0) {
                ::unlink(from.constData());
                return target;
            }
            error = errno;
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

QString write(Connection& connection, const QDateTime& when) {
    const QString folder = folderFor(connection.fileName());
    if (!connection.isOpen()) {
        fail(folder, QStringLiteral("数据库连接尚未打开。"));
    }
    makeFolder(folder);
    // The key the file is open with: a backup of a protected file is as protected as the file.
    const QByteArray key = connection.key();
    PartFile part(folder);
    copyInto(connection, part.path(), key, folder);
    proveCopy(part.path(), key, folder);
    syncFile(part.path(), folder);
    const QString written = giveName(part.path(), folder, when);
    part.release();
    prune(folder, KeepNewest, written);
    return written;
}

void prune(const QString& folder, int keep, const QString& spare) {
    struct Found {
        QString stamp;
        int number;
        QString path;
    };
    QList<Found> backups;
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QFileInfo& entry : entries) {
        const QRegularExpressionMatch match = backupPattern().match(entry.fileName());
        if (match.hasMatch()) {
            const int number = match.captured(2).isEmpty() ? 1 : match.captured(2).toInt();
            backups.append({match.captured(1), number, entry.absoluteFilePath()});
        }
    }
    std::sort(backups.begin(), backups.end(), [](const Found& a, const Found& b) {
        return a.stamp != b.stamp ? a.stamp > b.stamp : a.number > b.number;
    });
    // The copy just written counts first, even when a clock set back gave it an older name.
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
                report(VaultError(VaultError::EngineFailure, QString::fromLocal8Bit(error.what())));
            }
        }
    };
}

} // namespace VaultBackup
