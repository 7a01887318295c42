// rekey_kills [RUNS]: kills each of the three re-keys (protection on, protection off, a new master
// password of a protected vault) RUNS times (default 60) at a random instant, and checks what is
// left: the old or the new password must open the file and pass the login, with every row there.
// Each re-key runs in a child process on a fresh copy of a vault of 3,000 entries; the instant is
// drawn from the whole length of an undisturbed run. Prints how often each outcome came up; exits
// 1 when any run left a file that neither password opens, or rows lost or changed.

#include "vault/FreshVault.h"
#include "vault/MasterPassword.h"
#include "vault/Module.h"
#include "vault/ProtectedVault.h"
#include "vault/SecretCipher.h"
#include "vault/SqliteSupport.h"
#include "vault/Statements.h"
#include "vault/VaultError.h"
#include "vault/VaultKey.h"
#include "vault/VaultRekey.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <signal.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const QString oldPassword = QStringLiteral("old-口令'1");
const QString newPassword = QStringLiteral("new-口令'2");

enum class Kind { On, Off, Change };

void exec(sqlite3* db, const QString& sql, const QVariantList& parameters = {}) {
    SqliteSupport::StatementPtr statement;
    SqliteSupport::prepareOne(db, sql, statement);
    for (int i = 0; i < parameters.size(); ++i) {
        SqliteSupport::bindValue(statement.get(), i + 1, parameters.at(i));
    }
    if (sqlite3_step(statement.get()) != SQLITE_DONE) {
        std::fprintf(stderr, "setting up: %s\n", sqlite3_errmsg(db));
        std::exit(2);
    }
}

// Every row but the login row, which a change of password changes on purpose.
QStringList rowsOf(Connection& connection) {
    QStringList rows;
    for (const char* table : {"Quorvane_Type", "Quorvane_Pass", "sqlite_sequence"}) {
        SqliteSupport::StatementPtr statement;
        SqliteSupport::prepareOne(connection.handle(), QStringLiteral("SELECT * FROM %1 ORDER BY 1").arg(table),
                                  statement);
        while (sqlite3_step(statement.get()) == SQLITE_ROW) {
            QString row = QLatin1String(table);
            for (int c = 0; c < sqlite3_column_count(statement.get()); ++c) {
                row += u'|' + SqliteSupport::columnValue(statement.get(), c).toString();
            }
            rows << row;
        }
    }
    return rows;
}

void makeVault(const QString& folder, Kind kind) {
    const QString path = folder + QStringLiteral("/DB.xml");
    createFreshVault(path);
    Module module;
    module.VaultConnection.setConnectionString(Connection::connectionTextFor(folder));
    module.VaultConnection.open();
    sqlite3* db = module.VaultConnection.handle();
    exec(db, QStringLiteral("UPDATE Quorvane_Type SET Seq=321 WHERE ID=1"));
    exec(db, QStringLiteral("UPDATE Quorvane_Login SET Pass=? WHERE ID=1"),
         {EncodeSecret(oldPassword + QStringLiteral("321"), Module::SecretKey)});
    exec(db, QStringLiteral("BEGIN"));
    for (int i = 0; i < 3000; ++i) {
        exec(db,
             QStringLiteral("INSERT INTO Quorvane_Pass(Type, Caption, Name, Pass, Www, Remark, Sort, Seq) "
                            "VALUES (1, ?, ?, ?, 'https://example.com/', ?, '网络账号', 1)"),
             {QStringLiteral("记录 %1").arg(i), EncodeSecret(QStringLiteral("user%1").arg(i), Module::SecretKey),
              EncodeSecret(QStringLiteral("pass%1").arg(i), Module::SecretKey), QStringLiteral("备注 %1").arg(i)});
    }
    exec(db, QStringLiteral("COMMIT"));
    if (kind != Kind::On) {
        VaultRekey::rekey(module.VaultConnection, ProtectedVault::newKeyFor(oldPassword));
    }
}

// The re-key as the program does it, in a child process; the parent may kill it at any instant.
void rekeyInChild(const QString& folder, Kind kind) {
    Module module;
    Connection& connection = module.VaultConnection;
    connection.setConnectionString(Connection::connectionTextFor(folder));
    if (kind == Kind::On) {
        connection.open();
    } else {
        ProtectedVault::openWithPassword(connection, oldPassword);
    }
    switch (kind) {
    case Kind::On:
        VaultRekey::rekey(connection, ProtectedVault::newKeyFor(oldPassword));
        break;
    case Kind::Off:
        VaultRekey::rekey(connection, VaultRekey::databasePasswordKey(connection));
        break;
    case Kind::Change:
        VaultRekey::rekey(connection, ProtectedVault::newKeyFor(newPassword), Statements::setLoginPass(),
                          {EncodeSecret(newPassword + QStringLiteral("321"), Module::SecretKey)});
        break;
    }
}

// Which password the file opens with now and admits at the login: 1 the old one, 2 the new one, 0 neither.
int whoOpens(const QString& folder, Kind kind, const QStringList& expectedRows) {
    const bool oldIsDatabasePassword = kind == Kind::On;
    const bool newIsDatabasePassword = kind == Kind::Off;
    const QString passwords[] = {oldPassword, kind == Kind::Change ? newPassword : oldPassword};
    for (int which : {0, 1}) {
        Module module;
        Connection& connection = module.VaultConnection;
        connection.setConnectionString(Connection::connectionTextFor(folder));
        const bool databasePassword = which == 0 ? oldIsDatabasePassword : newIsDatabasePassword;
        try {
            if (databasePassword ==
                ProtectedVault::isProtectedFile(Connection::dataSourceOf(connection.connectionString()))) {
                continue;
            }
            if (databasePassword) {
                connection.open();
            } else if (!ProtectedVault::openWithPassword(connection, passwords[which])) {
                continue;
            }
            readRootSeq(module);
            if (checkMasterPassword(module, passwords[which]) == LoginVerdict::Admitted &&
                rowsOf(connection) == expectedRows) {
                return which + 1;
            }
        } catch (const VaultError& error) {
            std::fprintf(stderr, "  %s\n", error.description().toLocal8Bit().constData());
        }
    }
    return 0;
}

void copyFile(const QString& from, const QString& to) {
    QFile::remove(to);
    if (!QFile::copy(from, to)) {
        std::fprintf(stderr, "cannot copy the vault\n");
        std::exit(2);
    }
}

} // namespace

int main(int argc, char* argv[]) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    VaultKey::setCostForNewKeys({1u << 13, 1, 1});
    QTemporaryDir temporary;
    bool allSound = true;
    std::printf("%-8s %5s %12s %6s %6s %9s %7s\n", "re-key", "runs", "run (ms)", "old", "new", "finished", "LOST");
    for (const Kind kind : {Kind::On, Kind::Off, Kind::Change}) {
        const char* name = kind == Kind::On ? "on" : kind == Kind::Off ? "off" : "change";
        const QString templateFolder = temporary.filePath(QStringLiteral("template-") + QLatin1String(name));
        const QString work = temporary.filePath(QStringLiteral("work-") + QLatin1String(name));
        QDir().mkpath(templateFolder);
        QDir().mkpath(work);
        makeVault(templateFolder, kind);
        QStringList expectedRows;
        {
            Module module;
            module.VaultConnection.setConnectionString(Connection::connectionTextFor(templateFolder));
            ProtectedVault::openUnlessProtected(module.VaultConnection);
            if (!module.VaultConnection.isOpen()) {
                ProtectedVault::openWithPassword(module.VaultConnection, oldPassword);
            }
            expectedRows = rowsOf(module.VaultConnection);
        }

        auto runChild = [&](std::chrono::microseconds killAfter, bool* finished) {
            QDir(work).removeRecursively();
            QDir().mkpath(work);
            copyFile(templateFolder + QStringLiteral("/DB.xml"), work + QStringLiteral("/DB.xml"));
            std::fflush(nullptr);
            const pid_t child = ::fork();
            if (child == 0) {
                try {
                    rekeyInChild(work, kind);
                } catch (const VaultError&) {
                    ::_exit(3);
                }
                ::_exit(0);
            }
            if (killAfter.count() > 0) {
                std::this_thread::sleep_for(killAfter);
                ::kill(child, SIGKILL);
            }
            int status = 0;
            ::waitpid(child, &status, 0);
            *finished = WIFEXITED(status) && WEXITSTATUS(status) == 0;
            return WIFEXITED(status) && WEXITSTATUS(status) != 0;
        };

        // The length of an undisturbed run, the median of five.
        std::vector<qint64> lengths;
        for (int i = 0; i < 5; ++i) {
            QElapsedTimer clock;
            clock.start();
            bool finished = false;
            if (runChild(std::chrono::microseconds(0), &finished) || whoOpens(work, kind, expectedRows) != 2) {
                std::fprintf(stderr, "%s: an undisturbed re-key did not give the new file\n", name);
                return 1;
            }
            lengths.push_back(clock.nsecsElapsed() / 1000);
        }
        std::sort(lengths.begin(), lengths.end());
        const qint64 length = lengths[2];

        int counts[3] = {0, 0, 0};
        int finishedEarly = 0;
        for (int i = 0; i < runs; ++i) {
            const auto at = std::chrono::microseconds(1 + QRandomGenerator::global()->bounded(length * 11 / 10));
            bool finished = false;
            runChild(at, &finished);
            finishedEarly += finished ? 1 : 0;
            const int opens = whoOpens(work, kind, expectedRows);
            ++counts[opens];
            if (opens == 0) {
                allSound = false;
                QDir().rename(work, work + QStringLiteral("-lost-%1").arg(i));
            }
        }
        std::printf("%-8s %5d %12.1f %6d %6d %9d %7d\n", name, runs, static_cast<double>(length) / 1000.0, counts[1],
                    counts[2], finishedEarly, counts[0]);
    }
    if (!allSound) {
        temporary.setAutoRemove(false);
        std::printf("files that neither password opens are kept in %s\n", qPrintable(temporary.path()));
    }
    return allSound ? 0 : 1;
}
