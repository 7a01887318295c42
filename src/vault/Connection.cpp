#include "Connection.h"

#include "SafeFile.h"
#include "SqliteSupport.h"
#include "StatementCache.h"
#include "VaultError.h"
#include "VaultKey.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <utility>

using SqliteSupport::StatementPtr;

namespace {

const QString ProviderPart = QStringLiteral("Provider=Microsoft.jet.oledb.4.0;data source=");
const QString FileAndSecurityPart =
    QStringLiteral("\\DB.xml;Persist Security Info=False ;jet oledb:database password=");
const QString DatabasePassword = QStringLiteral("Brindlex");

// The value of a key of a connection text ("key=value;key=value"), keys without regard to case.
// A piece without "=" belongs to the value before it, so a folder with ";" in its name survives.
QString connectionValue(const QString& connectionText, QStringView wantedKey) {
    const QStringList pieces = connectionText.split(u';');
    QString found;
    bool inWanted = false;
    for (const QString& piece : pieces) {
        const qsizetype equals = piece.indexOf(u'=');
        if (equals < 0) {
            if (inWanted) {
                found += u';' + piece;
            }
            continue;
        }
        const QStringView key = QStringView(piece).left(equals).trimmed();
        inWanted = key.compare(wantedKey, Qt::CaseInsensitive) == 0;
        if (inWanted) {
            found = piece.mid(equals + 1);
        }
    }
    return found;
}

QString describeEngineError(int resultCode, const QString& fileName, const QString& engineMessage) {
    const QString file = QStringLiteral("“%1”").arg(fileName);
    switch (resultCode & 0xff) {
    case SQLITE_CANTOPEN:
        if (!QFileInfo::exists(fileName)) {
            return QStringLiteral("找不到数据文件%1。").arg(file);
        }
        return QStringLiteral("无法打开数据文件%1。").arg(file);
    case SQLITE_NOTADB:
        return QStringLiteral("数据文件%1不是本程序的数据库，或者数据库密码不正确。").arg(file);
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral("数据文件%1正被其他程序使用（已锁定），请稍后再试。").arg(file);
    case SQLITE_READONLY:
        return QStringLiteral("数据文件%1是只读的，无法写入。").arg(file);
    case SQLITE_FULL:
        return QStringLiteral("磁盘已满，无法写入数据文件%1。").arg(file);
    case SQLITE_IOERR:
        return QStringLiteral("读写数据文件%1时发生输入/输出错误。").arg(file);
    case SQLITE_CORRUPT:
        return QStringLiteral("数据文件%1已损坏。").arg(file);
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return QStringLiteral("没有访问数据文件%1的权限。").arg(file);
    case SQLITE_CONSTRAINT:
        return QStringLiteral("写入数据文件%1时违反了数据约束：%2").arg(file, engineMessage);
    default:
        return QStringLiteral("数据库引擎出错（数据文件%1）：%2").arg(file, engineMessage);
    }
}

VaultError engineError(int resultCode, const QString& fileName, sqlite3* db) {
    return VaultError(VaultError::EngineFailure,
                      describeEngineError(resultCode, fileName, SafeFile::engineMessage(db, resultCode)));
}

} // namespace

Connection::~Connection() {
    m_statementCache.reset();
    if (m_db) {
        sqlite3_close_v2(m_db);
    }
}

QString Connection::connectionTextFor(const QString& programFolder) {
    return ProviderPart + programFolder + FileAndSecurityPart + DatabasePassword;
}

QString Connection::dataSourceOf(const QString& connectionText) {
    QString source = connectionValue(connectionText, u"data source");
    // The text names the file the way the program always has, with a backslash before the
    // file name; here the folder separator is "/".
    const qsizetype lastBackslash = source.lastIndexOf(u'\\');
    if (lastBackslash >= 0 && source.indexOf(u'/', lastBackslash) < 0) {
        source[lastBackslash] = u'/';
    }
    return source;
}

QString Connection::passwordOf(const QString& connectionText) {
    return connectionValue(connectionText, u"jet oledb:database password");
}

QByteArray Connection::key() const {
    return m_key.isEmpty() ? passwordOf(m_connectionString).toUtf8() : m_key;
}

bool Connection::isProtected() const {
    return VaultKey::isDerivedKey(key());
}

void Connection::open() {
    const QByteArray openingKey = key();
    if (openKeyed(openingKey) != SQLITE_OK) {
        throw VaultError(VaultError::EngineFailure, describeEngineError(SQLITE_NOTADB, m_fileName, QString()));
    }
}

bool Connection::openWithKey(const QByteArray& newKey) {
    if (openKeyed(newKey) != SQLITE_OK) {
        return false;
    }
    m_key = newKey;
    return true;
}

void Connection::close() {
    m_statementCache.reset();
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

void Connection::runBeforeFirstWrite() {
    if (m_beforeFirstWrite) {
        std::exchange(m_beforeFirstWrite, nullptr)(*this);
    }
}

int Connection::openKeyed(const QByteArray& key) {
    close();
    m_fileName = dataSourceOf(m_connectionString);
    if (m_fileName.isEmpty()) {
        throw VaultError(VaultError::EngineFailure, QStringLiteral("连接字符串中没有指定数据文件。"));
    }

    sqlite3* db = nullptr;
    // Never create: a missing file is an error, not an invitation to start an empty vault.
    // The connection belongs to the one user-interface thread, so the engine's own locking
    // around every call (a mutex per column read) is only cost.
    int rc = sqlite3_open_v2(QFile::encodeName(m_fileName).constData(), &db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    auto fail = [&](int code) {
        VaultError error = engineError(code, m_fileName, db);
        sqlite3_close_v2(db);
        throw error;
    };
    if (rc != SQLITE_OK) {
        fail(rc);
    }
    sqlite3_extended_result_codes(db, 1);
    rc = sqlite3_key(db, key.constData(), static_cast<int>(key.size()));
    if (rc != SQLITE_OK) {
        fail(rc);
    }
    sqlite3_busy_timeout(db, m_busyTimeoutMs);

    // A wrong key only shows at the first read (SQLITE_NOTADB); an empty or foreign database
    // reads fine but lacks the tables.
    StatementPtr probe;
    rc =
        SqliteSupport::prepareOne(db,
                                  QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND "
                                                 "lower(name) IN ('quorvane_type', 'quorvane_pass', 'quorvane_login')"),
                                  probe);
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(probe.get());
    }
    if (rc == SQLITE_NOTADB) {
        probe.reset();
        sqlite3_close_v2(db);
        return rc;
    }
    if (rc != SQLITE_ROW) {
        fail(rc);
    }
    const sqlite3_int64 tables = sqlite3_column_int64(probe.get(), 0);
    probe.reset();
    if (tables != 3) {
        sqlite3_close_v2(db);
        throw VaultError(VaultError::EngineFailure,
                         QStringLiteral("数据文件“%1”不是本程序的数据库（缺少所需的数据表）。").arg(m_fileName));
    }
    m_db = db;
    return SQLITE_OK;
}

void Connection::execute(const QString& sql, const QVariantList& parameters) {
    if (!m_db) {
        throw VaultError(VaultError::EngineFailure, QStringLiteral("数据库连接尚未打开，无法执行语句。"));
    }
    StatementPtr statement;
    bool extra = false;
    int rc = SqliteSupport::prepareOne(m_db, sql, statement, &extra);
    if (extra) {
        throw VaultError(VaultError::EngineFailure, QStringLiteral("一次只能执行一条语句：%1").arg(sql));
    }
    if (rc != SQLITE_OK) {
        raiseEngineError(rc);
    }
    if (m_beforeFirstWrite && !sqlite3_stmt_readonly(statement.get())) {
        std::exchange(m_beforeFirstWrite, nullptr)(*this);
    }
    if (sqlite3_bind_parameter_count(statement.get()) != parameters.size()) {
        throw VaultError(VaultError::OperationNotAllowed,
                         QStringLiteral("语句的参数个数（%1）与给出的值的个数（%2）不符：%3")
                             .arg(sqlite3_bind_parameter_count(statement.get()))
                             .arg(parameters.size())
                             .arg(sql));
    }
    for (int i = 0; i < parameters.size(); ++i) {
        rc = SqliteSupport::bindValue(statement.get(), i + 1, parameters.at(i));
        if (rc != SQLITE_OK) {
            raiseEngineError(rc);
        }
    }
    do {
        rc = sqlite3_step(statement.get());
    } while (rc == SQLITE_ROW);
    if (rc != SQLITE_DONE) {
        raiseEngineError(rc);
    }
}

SqliteSupport::StatementCache& Connection::statementCache() {
    if (!m_statementCache) {
        m_statementCache = std::make_shared<SqliteSupport::StatementCache>(m_db);
    }
    return *m_statementCache;
}

void Connection::raiseEngineError(int resultCode) const {
    throw engineError(resultCode, m_fileName, m_db);
}
