#pragma once

#include <QString>
#include <QVariant>
#include <QVariantList>
#include <functional>
#include <memory>

struct sqlite3;
namespace SqliteSupport {
class StatementCache;
}

// The one database connection of the program. It is handed the connection text the
// program has always used, finds the data source and the database password in it, and
// opens the encrypted file read-write. It never creates a file.
class Connection {
public:
    Connection() = default;
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // "Provider=...;data source=<folder>\DB.xml;Persist Security Info=False ;jet oledb:database password=Brindlex"
    static QString connectionTextFor(const QString& programFolder);
    // The file named by the data source of a connection text, with the folder separator of this
    // platform ("\DB.xml" of the text becomes "/DB.xml" here).
    static QString dataSourceOf(const QString& connectionText);
    static QString passwordOf(const QString& connectionText);

    void setConnectionString(const QString& text) { m_connectionString = text; }
    const QString& connectionString() const { return m_connectionString; }

    // Opens the file named by the connection string, applies the key and proves it with a first
    // statement. Throws VaultError (EngineFailure) for a missing file, a wrong password, a file
    // that is not a vault, or a file that stays locked.
    void open();
    bool isOpen() const { return m_db != nullptr; }

    // The key the engine is given: the database password of the connection text, unless one was
    // set. A file protected by the master password is opened with the key derived from it
    // (VaultKey::derive); backups and re-keyed copies are keyed with this same key.
    QByteArray key() const;
    void setKey(const QByteArray& key) { m_key = key; }
    // Whether the key is one derived from a master password, not the database password.
    bool isProtected() const;
    // Opens the file with this key, which the connection keeps. False, with the connection closed
    // and the key it had before, when the key does not open the file (a wrong password); any other
    // failure throws as open() does.
    bool openWithKey(const QByteArray& key);
    // Closes the file; open() or openWithKey() opens it again. Record sets still open on it keep
    // their statements until they close.
    void close();

    // A locked file is waited for this long before an operation fails; takes effect at open().
    static constexpr int DefaultBusyTimeoutMs = 3000;
    void setBusyTimeout(int milliseconds) { m_busyTimeoutMs = milliseconds; }

    // Runs once, right before the first statement of this connection that changes the file, and
    // is then forgotten: the program makes its backup there. It must not throw.
    void setBeforeFirstWrite(std::function<void(Connection&)> hook) { m_beforeFirstWrite = std::move(hook); }
    // Runs that hook now, if it has not run yet: for a change that replaces the whole file rather
    // than going through execute().
    void runBeforeFirstWrite();

    // Runs one DELETE or UPDATE statement; final when it returns. Parameters, where given, are
    // bound in order to the statement's "?" placeholders (texts with their full length, U+0000 included).
    void execute(const QString& sql, const QVariantList& parameters = {});

    // The file this connection works on, for error descriptions.
    const QString& fileName() const { return m_fileName; }
    sqlite3* handle() const { return m_db; }
    // The prepared statements the record sets of this connection reuse.
    SqliteSupport::StatementCache& statementCache();

    // Turns the engine's last failure into the program's error, naming the file.
    [[noreturn]] void raiseEngineError(int resultCode) const;

private:
    // SQLITE_OK, or SQLITE_NOTADB for a key that does not open the file; other failures throw.
    int openKeyed(const QByteArray& key);

    QString m_connectionString;
    QByteArray m_key;
    QString m_fileName;
    sqlite3* m_db = nullptr;
    int m_busyTimeoutMs = DefaultBusyTimeoutMs;
    std::function<void(Connection&)> m_beforeFirstWrite;
    std::shared_ptr<SqliteSupport::StatementCache> m_statementCache;
};
