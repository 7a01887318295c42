#include "FreshVault.h"

#include "Connection.h"
#include "SafeFile.h"
#include "SqliteSupport.h"
#include "VaultError.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <unistd.h>

namespace {

// UTF-16 storage: texts are kept exactly as the program hands them over (no transcoding on the
// way in or out), and reading them back as UTF-16 costs nothing.
const char* const Schema = R"sql(
PRAGMA encoding = 'UTF-16le';
BEGIN;
CREATE TABLE Quorvane_Type (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    PID INTEGER,
    Name TEXT,
    Seq INTEGER
);
CREATE TABLE Quorvane_Pass (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    Type INTEGER,
    Caption TEXT,
    Name TEXT,
    Pass TEXT,
    Www TEXT,
    Remark TEXT,
    Sort TEXT,
    Seq INTEGER
);
CREATE TABLE Quorvane_Login (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    Pass TEXT
);
CREATE INDEX Quorvane_Type_Children ON Quorvane_Type (PID, Seq, ID);
CREATE INDEX Quorvane_Pass_OfType ON Quorvane_Pass (Type, Seq, ID);
INSERT INTO Quorvane_Type (ID, PID, Name, Seq) VALUES (1, -1, '全部分类', 0);
INSERT INTO Quorvane_Login (ID, Pass) VALUES (1, NULL);
COMMIT;
)sql";

// Claims the name with an exclusive create, so that an existing file can never be overwritten,
// not even one that appears between a check and the write.
void claimNewFile(const QString& filePath) {
    const SafeFile::Created created = SafeFile::createExclusive(filePath);
    if (created.modeFailed) {
        throw VaultError(
            VaultError::EngineFailure,
            QStringLiteral("无法设置数据文件“%1”的权限：%2").arg(filePath, SafeFile::systemMessage(created.error)));
    }
    if (created.fd < 0) {
        throw VaultError(
            VaultError::EngineFailure,
            created.error == EEXIST
                ? QStringLiteral("数据文件“%1”已经存在，不会覆盖它。").arg(filePath)
                : QStringLiteral("无法创建数据文件“%1”：%2").arg(filePath, SafeFile::systemMessage(created.error)));
    }
    ::close(created.fd);
}

} // namespace

void createFreshVault(const QString& filePath) {
    claimNewFile(filePath);

    // From here on the file is the one just created: on failure it is removed again, so that a
    // half-written vault is never left behind.
    sqlite3* db = nullptr;
    auto fail = [&](int code) {
        const QString message = SafeFile::engineMessage(db, code);
        sqlite3_close_v2(db);
        QFile::remove(filePath);
        QFile::remove(filePath + QStringLiteral("-journal"));
        throw VaultError(VaultError::EngineFailure,
                         QStringLiteral("写入新数据文件“%1”失败：%2").arg(filePath, message));
    };

    int rc = sqlite3_open_v2(QFile::encodeName(filePath).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        fail(rc);
    }
    const QString folder = QFileInfo(filePath).absolutePath();
    const QByteArray key = Connection::passwordOf(Connection::connectionTextFor(folder)).toUtf8();
    rc = sqlite3_key(db, key.constData(), static_cast<int>(key.size()));
    if (rc != SQLITE_OK) {
        fail(rc);
    }
    rc = sqlite3_exec(db, Schema, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        fail(rc);
    }
    rc = sqlite3_close(db);
    db = nullptr;
    if (rc != SQLITE_OK) {
        fail(rc);
    }
}
