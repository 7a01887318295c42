#include "TempVault.h"

#include "vault/FreshVault.h"
#include "vault/SecretCipher.h"
#include "vault/SqliteSupport.h"
#include "vault/VaultError.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

using SqliteSupport::StatementPtr;

namespace {

void copyFolder(const QString& from, const QString& to) {
    QDir().mkpath(to);
    QDirIterator it(from, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    const QDir source(from);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString target = to + u'/' + source.relativeFilePath(path);
        if (it.fileInfo().isDir()) {
            QDir().mkpath(target);
        } else {
            QFile::copy(path, target);
        }
    }
}

// Writing a fresh vault derives its key and syncs the file several times; every test needs one,
// so the first is written once and each later one is a copy of its bytes.
void writeFreshVault(const QString& target) {
    static QTemporaryDir templateDir;
    static const QString templatePath = [] {
        const QString path = templateDir.filePath(QStringLiteral("DB.xml"));
        createFreshVault(path);
        return path;
    }();
    if (!QFile::copy(templatePath, target) || !QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner)) {
        throw VaultError(VaultError::EngineFailure,
                         QStringLiteral("TempVault: cannot copy the fresh vault to %1").arg(target));
    }
}

[[noreturn]] void raise(sqlite3* db, const QString& what) {
    throw VaultError(VaultError::EngineFailure,
                     QStringLiteral("TempVault: %1: %2").arg(what, QString::fromUtf8(sqlite3_errmsg(db))));
}

} // namespace

TempVault::TempVault(bool withVault) {
    if (!m_dir.isValid()) {
        throw VaultError(VaultError::EngineFailure,
                         QStringLiteral("TempVault: no temporary folder: %1").arg(m_dir.errorString()));
    }
    for (const QString& name : {QStringLiteral("Skin"), QStringLiteral("Icons")}) {
        const QString from = QStringLiteral(VAULTRY_BIN_DIR "/") + name;
        if (QFileInfo(from).isDir()) {
            copyFolder(from, folder() + u'/' + name);
        }
    }
    if (withVault) {
        writeFreshVault(dbPath());
        openModule();
    }
}

TempVault::~TempVault() {
    if (m_raw) {
        sqlite3_close_v2(m_raw);
    }
}

QString TempVault::dbPath() const {
    return folder() + QStringLiteral("/DB.xml");
}

void TempVault::openModule() {
    m_module.VaultConnection.setConnectionString(Connection::connectionTextFor(folder()));
    // Tests that hold the file from another connection need the wait, not its full length.
    m_module.VaultConnection.setBusyTimeout(TestBusyTimeoutMs);
    m_module.VaultConnection.open();
}

sqlite3* TempVault::raw() {
    if (m_raw) {
        return m_raw;
    }
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(dbPath()).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        const QString message = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_close_v2(db);
        throw VaultError(VaultError::EngineFailure,
                         QStringLiteral("TempVault: cannot open %1: %2").arg(dbPath(), message));
    }
    const QByteArray key = Connection::passwordOf(Connection::connectionTextFor(folder())).toUtf8();
    sqlite3_key(db, key.constData(), static_cast<int>(key.size()));
    sqlite3_busy_timeout(db, TestBusyTimeoutMs);
    m_raw = db;
    return m_raw;
}

void TempVault::exec(const QString& sql, const QVariantList& parameters) {
    sqlite3* db = raw();
    if (parameters.isEmpty()) {
        // Several statements at once are welcome here: tests arrange whole tables in one call.
        if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK) {
            raise(db, sql);
        }
        return;
    }
    StatementPtr statement;
    if (SqliteSupport::prepareOne(db, sql, statement) != SQLITE_OK) {
        raise(db, sql);
    }
    for (int i = 0; i < parameters.size(); ++i) {
        SqliteSupport::bindValue(statement.get(), i + 1, parameters.at(i));
    }
    if (sqlite3_step(statement.get()) != SQLITE_DONE) {
        raise(db, sql);
    }
}

QVariant TempVault::scalar(const QString& sql) {
    sqlite3* db = raw();
    StatementPtr statement;
    if (SqliteSupport::prepareOne(db, sql, statement) != SQLITE_OK) {
        raise(db, sql);
    }
    const int rc = sqlite3_step(statement.get());
    if (rc == SQLITE_ROW) {
        return SqliteSupport::columnValue(statement.get(), 0);
    }
    if (rc != SQLITE_DONE) {
        raise(db, sql);
    }
    return QVariant();
}

qint64 TempVault::count(const QString& table, const QString& where) {
    QString sql = QStringLiteral("SELECT count(*) FROM ") + table;
    if (!where.isEmpty()) {
        sql += QStringLiteral(" WHERE ") + where;
    }
    return scalar(sql).toLongLong();
}

qint64 TempVault::addCategory(const QVariant& name, qint64 parent, int seq, qint64 id) {
    exec(QStringLiteral("INSERT INTO Quorvane_Type (ID, PID, Name, Seq) VALUES (?, ?, ?, ?)"),
         {id == 0 ? QVariant() : QVariant(id), parent, name, seq});
    return sqlite3_last_insert_rowid(raw());
}

qint64 TempVault::addEntry(const TestEntry& entry, qint64 id) {
    const QString& key = Module::SecretKey;
    exec(QStringLiteral("INSERT INTO Quorvane_Pass (ID, Type, Caption, Name, Pass, Www, Remark, Sort, Seq) "
                        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
         {id == 0 ? QVariant() : QVariant(id), entry.type, entry.caption, EncodeSecret(entry.name, key),
          EncodeSecret(entry.pass, key), entry.www, EncodeSecret(entry.remark, key), entry.sort, entry.seq});
    return sqlite3_last_insert_rowid(raw());
}
