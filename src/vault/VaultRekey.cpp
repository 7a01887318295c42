#include "VaultRekey.h"

#include "Connection.h"
#include "KeyedDatabase.h"
#include "SafeFile.h"
#include "SqliteSupport.h"
#include "VaultError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <unistd.h>

using SafeFile::engineMessage;
using SafeFile::systemMessage;
using SqliteSupport::StatementPtr;

namespace {

const QString LeftoverPrefix = QStringLiteral(".DB-rekey-");

[[noreturn]] void fail(const QString& dataFile, const QString& why) {
    throw VaultError(VaultError::EngineFailure,
                     QStringLiteral("无法改写数据文件“%1”的密钥，文件保持原样：%2").arg(dataFile, why));
}

int runStatement(sqlite3* db, const QString& sql, const QVariantList& parameters = {}) {
    StatementPtr statement;
    int rc = SqliteSupport::prepareOne(db, sql, statement);
    for (int i = 0; rc == SQLITE_OK && i < parameters.size(); ++i) {
        rc = SqliteSupport::bindValue(statement.get(), i + 1, parameters.at(i));
    }
    if (rc == SQLITE_OK) {
        do {
            rc = sqlite3_step(statement.get());
        } while (rc == SQLITE_ROW);
    }
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

// Claimed with an exclusive create, readable by the owner only, and removed again unless it
// took the data file's name.
class CopyFile {
public:
    CopyFile(const QString& folder, const QString& dataFile)
        : m_path(QStringLiteral("%1/%2%3-%4.part")
                     .arg(folder, LeftoverPrefix)
                     .arg(::getpid())
                     .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'))) {
        const SafeFile::Created created = SafeFile::createExclusive(m_path);
        if (created.fd < 0) {
            fail(dataFile, systemMessage(created.error));
        }
        ::close(created.fd);
    }
    ~CopyFile() {
        if (!m_renamed) {
            ::unlink(QFile::encodeName(m_path).constData());
        }
        ::unlink(QFile::encodeName(m_path + QStringLiteral("-journal")).constData());
    }
    CopyFile(const CopyFile&) = delete;
    CopyFile& operator=(const CopyFile&) = delete;

    const QString& path() const { return m_path; }
    void renamed() { m_renamed = true; }

private:
    QString m_path;
    bool m_renamed = false;
};

void writeCopy(Connection& connection, const QString& path, const QByteArray& newKey, const QString& loginUpdate,
               const QVariantList& parameters) {
    const QString& dataFile = connection.fileName();
    int rc = SQLITE_OK;
    DatabasePtr copy = openKeyed(path, SQLITE_OPEN_READWRITE, newKey, rc);
    if (rc != SQLITE_OK) {
        fail(dataFile, engineMessage(copy.get(), rc));
    }
    // Page by page through both keys: the copy holds every row, the sequence of keys and the
    // file's settings exactly as they were.
    sqlite3_backup* backup = sqlite3_backup_init(copy.get(), "main", connection.handle(), "main");
    if (!backup) {
        fail(dataFile, engineMessage(copy.get(), SQLITE_ERROR));
    }
    const int stepped = sqlite3_backup_step(backup, -1);
    rc = sqlite3_backup_finish(backup);
    if (stepped != SQLITE_DONE) {
        fail(dataFile, engineMessage(nullptr, stepped));
    }
    if (rc == SQLITE_OK && !loginUpdate.isEmpty()) {
        rc = runStatement(copy.get(), loginUpdate, parameters);
    }
    if (rc != SQLITE_OK) {
        fail(dataFile, engineMessage(copy.get(), rc));
    }
    rc = sqlite3_close(copy.release());
    if (rc != SQLITE_OK) {
        fail(dataFile, engineMessage(nullptr, rc));
    }
}

// The copy is trusted with the only name the program opens: the new key must open it and the
// engine must find every page sound.
void proveCopy(const QString& path, const QByteArray& newKey, const QString& dataFile) {
    int rc = SQLITE_OK;
    DatabasePtr copy = openKeyed(path, SQLITE_OPEN_READONLY, newKey, rc);
    StatementPtr check;
    if (rc == SQLITE_OK) {
        rc = SqliteSupport::prepareOne(copy.get(), QStringLiteral("PRAGMA quick_check"), check);
    }
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(check.get());
    }
    if (rc != SQLITE_ROW) {
        fail(dataFile, QStringLiteral("新文件无法用新密钥打开（%1）。").arg(engineMessage(copy.get(), rc)));
    }
    const QString verdict = SqliteSupport::columnValue(check.get(), 0).toString();
    if (verdict != QStringLiteral("ok")) {
        fail(dataFile, QStringLiteral("新文件未通过检查（%1）。").arg(verdict));
    }
}

} // namespace

namespace VaultRekey {

QByteArray databasePasswordKey(const Connection& connection) {
    return Connection::passwordOf(connection.connectionString()).toUtf8();
}

void removeLeftovers(const QString& dataFile) {
    const QDir folder = QFileInfo(dataFile).absoluteDir();
    const QStringList names =
        folder.entryList({LeftoverPrefix + QStringLiteral("*.part"), LeftoverPrefix + QStringLiteral("*.part-journal")},
                         QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        QFile::remove(folder.filePath(name));
    }
}

void rekey(Connection& connection, const QByteArray& newKey, const QString& loginUpdate,
           const QVariantList& parameters) {
    if (!connection.isOpen()) {
        throw VaultError(VaultError::EngineFailure, QStringLiteral("数据库连接尚未打开。"));
    }
    const QString dataFile = connection.fileName();
    connection.runBeforeFirstWrite();
    removeLeftovers(dataFile);

    // No other program may commit a write between the copy and the rename: it would be lost. A
    // read kept open holds the shared lock every commit must wait for. (A write transaction
    // would hold them off as well, but the engine copies no file its own connection is writing.)
    sqlite3* db = connection.handle();
    int rc = runStatement(db, QStringLiteral("BEGIN"));
    if (rc == SQLITE_OK) {
        rc = runStatement(db, QStringLiteral("SELECT count(*) FROM sqlite_master"));
    }
    if (rc != SQLITE_OK) {
        fail(dataFile, engineMessage(db, rc));
    }
    struct EndRead {
        sqlite3* db;
        ~EndRead() {
            if (db && !sqlite3_get_autocommit(db)) {
                runStatement(db, QStringLiteral("ROLLBACK"));
            }
        }
    } endRead{db};

    CopyFile copy(QFileInfo(dataFile).absolutePath(), dataFile);
    writeCopy(connection, copy.path(), newKey, loginUpdate, parameters);
    proveCopy(copy.path(), newKey, dataFile);
    if (const int error = SafeFile::syncFile(copy.path()); error != 0) {
        fail(dataFile, systemMessage(error));
    }
    // A journal beside the file belongs to the file the rename replaces: the engine would play it
    // back into the new one.
    if (QFileInfo(dataFile + QStringLiteral("-journal")).size() > 0) {
        fail(dataFile, QStringLiteral("数据文件正被其他程序写入。"));
    }
    if (::rename(QFile::encodeName(copy.path()).constData(), QFile::encodeName(dataFile).constData()) != 0) {
        fail(dataFile, systemMessage(errno));
    }
    copy.renamed();
    // The new file is in place from here on, whatever follows: a folder that cannot be synced only
    // leaves the rename to the system's own flush.
    SafeFile::syncFolder(QFileInfo(dataFile).absolutePath());

    // The handle still reads the file the rename replaced.
    runStatement(db, QStringLiteral("ROLLBACK"));
    endRead.db = nullptr;
    if (!connection.openWithKey(newKey)) {
        throw VaultError(VaultError::EngineFailure,
                         QStringLiteral("数据文件“%1”已改写，但无法用新密钥重新打开。").arg(dataFile));
    }
}

} // namespace VaultRekey
