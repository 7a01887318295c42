#include "VaultImport.h"

#include "vault/Connection.h"
#include "vault/FreshVault.h"
#include "vault/Recordset.h"
#include "vault/SafeFile.h"
#include "vault/VaultError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

using SafeFile::renameNoReplace;
using SafeFile::syncFolder;
using SafeFile::systemMessage;

namespace {

[[noreturn]] void fail(const QString& text) {
    throw VaultError(VaultError::EngineFailure, text);
}

QString connectionTextForFile(const QString& filePath) {
    const QString password = Connection::passwordOf(Connection::connectionTextFor(QFileInfo(filePath).absolutePath()));
    return QStringLiteral("Provider=Microsoft.jet.oledb.4.0;data source=%1;Persist Security Info=False "
                          ";jet oledb:database password=%2")
        .arg(filePath, password);
}

QString quoted(const QString& name) {
    return u'"' + name + u'"';
}

void removeQuietly(const QString& filePath) {
    QFile::remove(filePath);
    QFile::remove(filePath + QStringLiteral("-journal"));
}

std::vector<QVariantList> sortedByKey(const OldTable& table) {
    std::vector<QVariantList> rows = table.rows;
    std::stable_sort(rows.begin(), rows.end(), [](const QVariantList& a, const QVariantList& b) {
        return a.at(0).toLongLong() < b.at(0).toLongLong();
    });
    return rows;
}

void copyTable(Connection& connection, const OldTable& table) {
    QStringList names;
    QStringList marks;
    qint64 highest = 0;
    for (const QString& column : table.columns) {
        names.append(quoted(column));
        marks.append(QStringLiteral("?"));
    }
    const QString insert = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                               .arg(quoted(table.name), names.join(QStringLiteral(", ")), marks.join(u','));
    for (const QVariantList& row : table.rows) {
        if (row.at(0).isNull()) {
            fail(QStringLiteral("旧版数据文件的表 %1 中有一行的 ID 为 Null，无法转换。").arg(table.name));
        }
        connection.execute(insert, row);
        highest = std::max(highest, row.at(0).toLongLong());
    }
    // New keys continue after every key the old file ever gave out, not only the ones still there.
    const qint64 last = std::max(highest, table.lastAutoNumber);
    connection.execute(QStringLiteral("DELETE FROM sqlite_sequence WHERE name = ?"), {table.name});
    if (last > 0) {
        connection.execute(QStringLiteral("INSERT INTO sqlite_sequence (name, seq) VALUES (?, ?)"),
                           {table.name, QVariant(last)});
    }
}

bool sameValue(const QVariant& expected, const QVariant& actual) {
    if (expected.isNull() || actual.isNull()) {
        return expected.isNull() && actual.isNull();
    }
    if (expected.typeId() == QMetaType::QString) {
        return actual.typeId() == QMetaType::QString && actual.toString() == expected.toString();
    }
    return actual.typeId() == QMetaType::LongLong && actual.toLongLong() == expected.toLongLong();
}

void verifyTable(Connection& connection, const OldTable& table, const QString& filePath) {
    QStringList names;
    for (const QString& column : table.columns) {
        names.append(quoted(column));
    }
    Recordset written;
    written.open(
        QStringLiteral("SELECT %1 FROM %2 ORDER BY ID").arg(names.join(QStringLiteral(", ")), quoted(table.name)),
        connection);
    const std::vector<QVariantList> expected = sortedByKey(table);
    if (written.recordCount() != static_cast<qint64>(expected.size())) {
        fail(QStringLiteral("核对新数据文件“%1”时发现表 %2 有 %3 行，应为 %4 行。")
                 .arg(filePath, table.name)
                 .arg(written.recordCount())
                 .arg(expected.size()));
    }
    for (const QVariantList& row : expected) {
        for (int c = 0; c < table.columns.size(); ++c) {
            if (!sameValue(row.at(c), written.value(table.columns.at(c)))) {
                fail(QStringLiteral("核对新数据文件“%1”时发现表 %2 中 ID 为 %3 的行的列 %4 与原文件不同。")
                         .arg(filePath, table.name)
                         .arg(row.at(0).toLongLong())
                         .arg(table.columns.at(c)));
            }
        }
        written.moveNext();
    }
    written.close();
}

const QString WorkingCopyPrefix = QStringLiteral(".DB.xml.importing-");

// Writes the copy under a name of its own in targetFolder and proves it; returns that name.
QString writeVerifiedCopy(const OldVault& old, const QString& targetFolder) {
    QString tempFile;
    do {
        tempFile =
            QDir(targetFolder)
                .filePath(WorkingCopyPrefix + QStringLiteral("%1-%2")
                                                  .arg(::getpid())
                                                  .arg(QRandomGenerator::global()->generate(), 8, 16, QChar(u'0')));
    } while (QFileInfo::exists(tempFile));

    createFreshVault(tempFile);
    try {
        {
            Connection connection;
            connection.setConnectionString(connectionTextForFile(tempFile));
            connection.open();
            connection.execute(QStringLiteral("BEGIN"));
            connection.execute(QStringLiteral("DELETE FROM Quorvane_Type"));
            connection.execute(QStringLiteral("DELETE FROM Quorvane_Login"));
            for (const OldTable* table : {&old.categories, &old.entries, &old.logins}) {
                copyTable(connection, *table);
            }
            connection.execute(QStringLiteral("COMMIT"));
        }
        // Read back through a connection of its own, as the program will open the file.
        Connection check;
        check.setConnectionString(connectionTextForFile(tempFile));
        check.open();
        for (const OldTable* table : {&old.categories, &old.entries, &old.logins}) {
            verifyTable(check, *table, tempFile);
        }
    } catch (...) {
        removeQuietly(tempFile);
        throw;
    }
    return tempFile;
}

QString existsMessage(const QString& filePath) {
    return QStringLiteral("数据文件“%1”已经存在，不会覆盖它。").arg(filePath);
}

// Keeps the old file's bytes under a second name: a hard link where the file system has them,
// else a byte-for-byte copy.
void keepOldFile(const QString& dataFile, const QString& keptAs) {
    const QByteArray source = QFile::encodeName(dataFile);
    const QByteArray target = QFile::encodeName(keptAs);
    if (::link(source.constData(), target.constData()) == 0) {
        return;
    }
    const int error = errno;
    if (error == EEXIST) {
        fail(QStringLiteral("文件“%1”已经存在，不会覆盖它。").arg(keptAs));
    }
    QFile in(dataFile);
    const SafeFile::Created created = SafeFile::createExclusive(keptAs);
    const int fd = created.fd;
    if (fd < 0 || !in.open(QIODevice::ReadOnly)) {
        const int openError = fd < 0 ? created.error : error;
        if (fd >= 0) {
            ::close(fd);
            ::unlink(target.constData());
        }
        fail(QStringLiteral("无法把原文件保留为“%1”：%2").arg(keptAs, systemMessage(openError)));
    }
    QFile out;
    const QByteArray bytes = in.readAll();
    const bool written = out.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle) &&
                         out.write(bytes) == bytes.size() && out.flush() && ::fsync(fd) == 0;
    out.close();
    if (!written || in.error() != QFileDevice::NoError) {
        ::unlink(target.constData());
        fail(QStringLiteral("无法把原文件保留为“%1”：写入失败。").arg(keptAs));
    }
}

} // namespace

ImportCounts importOldVault(const QString& oldFile, const QString& targetFile) {
    if (QFileInfo::exists(targetFile)) {
        fail(existsMessage(targetFile));
    }
    const QString folder = QFileInfo(targetFile).absolutePath();
    if (!QFileInfo(folder).isDir()) {
        fail(QStringLiteral("文件夹“%1”不存在。").arg(folder));
    }
    removeImportLeftovers(folder);
    const OldVault old = readOldVault(oldFile);
    const QString tempFile = writeVerifiedCopy(old, folder);
    const int error = renameNoReplace(tempFile, targetFile);
    if (error != 0) {
        removeQuietly(tempFile);
        fail(error == EEXIST ? existsMessage(targetFile)
                             : QStringLiteral("无法写入数据文件“%1”：%2").arg(targetFile, systemMessage(error)));
    }
    syncFolder(folder);
    return countsOf(old);
}

ImportCounts convertOldVaultInPlace(const QString& dataFile, const QString& keptAs) {
    if (QFileInfo::exists(keptAs)) {
        fail(QStringLiteral("文件“%1”已经存在，不会覆盖它。").arg(keptAs));
    }
    return convertOldVaultInPlace(readOldVault(dataFile), dataFile, keptAs);
}

ImportCounts convertOldVaultInPlace(const OldVault& old, const QString& dataFile, const QString& keptAs) {
    if (QFileInfo::exists(keptAs)) {
        fail(QStringLiteral("文件“%1”已经存在，不会覆盖它。").arg(keptAs));
    }
    const QString folder = QFileInfo(dataFile).absolutePath();
    removeImportLeftovers(folder);
    const QString tempFile = writeVerifiedCopy(old, folder);
    const QByteArray kept = QFile::encodeName(keptAs);
    struct stat original {};
    try {
        keepOldFile(dataFile, keptAs);
        // The kept file holds the secrets as much as the new one does. A hard link shares the old
        // file's mode, so that mode is put back should the switch fail.
        if (::stat(kept.constData(), &original) != 0 || ::chmod(kept.constData(), S_IRUSR | S_IWUSR) != 0) {
            const int error = errno;
            ::unlink(kept.constData());
            fail(QStringLiteral("无法把原文件保留为“%1”：%2").arg(keptAs, systemMessage(error)));
        }
    } catch (...) {
        removeQuietly(tempFile);
        throw;
    }
    if (::rename(QFile::encodeName(tempFile).constData(), QFile::encodeName(dataFile).constData()) != 0) {
        const int error = errno;
        ::chmod(kept.constData(), original.st_mode & 07777);
        ::unlink(kept.constData());
        removeQuietly(tempFile);
        fail(QStringLiteral("无法写入数据文件“%1”：%2").arg(dataFile, systemMessage(error)));
    }
    syncFolder(folder);
    return countsOf(old);
}

ImportCounts countsOf(const OldVault& old) {
    return {static_cast<qint64>(old.categories.rows.size()), static_cast<qint64>(old.entries.rows.size()),
            static_cast<qint64>(old.logins.rows.size())};
}

void removeImportLeftovers(const QString& folder) {
    static const QRegularExpression ours(QRegularExpression::anchoredPattern(
        QRegularExpression::escape(WorkingCopyPrefix) + QStringLiteral("([0-9]+)-[0-9a-f]{8}(-journal)?")));
    // A process in another PID namespace cannot be seen: a file it still writes is recent.
    constexpr qint64 QuietSeconds = 600;
    const QDir dir(folder);
    const QStringList names =
        dir.entryList({WorkingCopyPrefix + u'*'}, QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
    for (const QString& name : names) {
        const QRegularExpressionMatch match = ours.match(name);
        bool numbered = false;
        const qint64 pid = match.hasMatch() ? match.captured(1).toLongLong(&numbered) : 0;
        if (!numbered || pid <= 0 || pid > std::numeric_limits<pid_t>::max() || pid == ::getpid()) {
            continue;
        }
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) {
            continue;
        }
        const QByteArray path = QFile::encodeName(dir.filePath(name));
        struct stat status {};
        if (::lstat(path.constData(), &status) != 0 || !S_ISREG(status.st_mode) ||
            status.st_mtim.tv_sec > ::time(nullptr) - QuietSeconds) {
            continue;
        }
        ::unlink(path.constData());
    }
}

QString keptOldVaultName(const QString& dataFile) {
    const QDir folder = QFileInfo(dataFile).absoluteDir();
    QString name = folder.filePath(QStringLiteral("DB-old-Access2000.mdb"));
    for (int n = 2; QFileInfo::exists(name) || QFileInfo(name).isSymLink(); ++n) {
        name = folder.filePath(QStringLiteral("DB-old-Access2000-%1.mdb").arg(n));
    }
    return name;
}
