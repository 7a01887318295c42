#include "app/BackupNotice.h"
#include "support/FakePlatform.h"
#include "support/SuiteGuard.h"
#include "support/TempVault.h"
#include "support/TestFiles.h"
#include "vault/Statements.h"
#include "vault/VaultBackup.h"
#include "vault/VaultError.h"

#include <sqlcipher/sqlite3.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QStringList backupsIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

// The entry titles of a backup, read the way anyone with the key would read it.
QStringList captionsIn(const QString& path) {
    sqlite3* db = nullptr;
    QStringList captions;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        const QByteArray key = Connection::passwordOf(Connection::connectionTextFor(QStringLiteral("/"))).toUtf8();
        sqlite3_key(db, key.constData(), static_cast<int>(key.size()));
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT Caption FROM Quorvane_Pass ORDER BY ID", -1, &statement, nullptr) ==
            SQLITE_OK) {
            while (sqlite3_step(statement) == SQLITE_ROW) {
                captions << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
            }
        } else {
            captions << QStringLiteral("unreadable");
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close_v2(db);
    return captions;
}

using Write = std::function<void(Connection&)>;

void setModified(const QString& path, const QDateTime& when) {
    const qint64 seconds = when.toSecsSinceEpoch();
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

// The number of a process that has ended.
qint64 endedProcess() {
    QProcess process;
    process.start(QStringLiteral("true"), QStringList());
    process.waitForFinished();
    return process.processId() > 0 ? process.processId() : 999999999;
}

} // namespace

class TestBackup : public QObject {
    Q_OBJECT

private slots:
    void oneBackupBeforeTheFirstWriteOfARun_data() {
        QTest::addColumn<Write>("firstWrite");
        QTest::newRow("update") << Write([](Connection& c) {
            c.execute(QStringLiteral("UPDATE Quorvane_Pass SET Caption = 'changed' WHERE ID = 1"));
        });
        QTest::newRow("delete") << Write([](Connection& c) { c.execute(Statements::deleteEntry(1)); });
        QTest::newRow("in a transaction of the caller's") << Write([](Connection& c) {
            c.execute(QStringLiteral("BEGIN"));
            c.execute(Statements::deleteEntry(1));
            c.execute(QStringLiteral("COMMIT"));
        });
        QTest::newRow("added row") << Write([](Connection& c) {
            Recordset rs;
            rs.open(Statements::entryForSave(0), c);
            rs.addNew();
            rs.setValue(QStringLiteral("Caption"), QStringLiteral("added"));
            rs.update();
            rs.close();
        });
    }
    void oneBackupBeforeTheFirstWriteOfARun() {
        QFETCH(Write, firstWrite);
        TempVault vault;
        vault.addEntry({.caption = QStringLiteral("original")}, 1);
        const QString folder = VaultBackup::folderFor(vault.dbPath());

        // Two runs, each with two writes and reads in between.
        for (int run = 1; run <= 2; ++run) {
            Connection connection;
            connection.setConnectionString(Connection::connectionTextFor(vault.folder()));
            connection.open();
            QStringList failures;
            connection.setBeforeFirstWrite(
                VaultBackup::beforeFirstWrite([&](const VaultError& e) { failures << e.description(); }));
            Recordset reading;
            reading.open(Statements::allEntries(), connection);
            reading.close();
            QCOMPARE(backupsIn(folder).size(), run - 1);

            const QStringList before = captionsIn(vault.dbPath());
            const QStringList earlier = backupsIn(folder);
            firstWrite(connection);
            connection.execute(Statements::setRootSeq(7));
            QCOMPARE(failures, QStringList());
            QStringList added = backupsIn(folder);
            QCOMPARE(added.size(), run);
            for (const QString& name : earlier) {
                added.removeOne(name);
            }
            const QString newest = folder + u'/' + added.constFirst();
            QCOMPARE(captionsIn(newest), before);
            struct stat status {};
            QCOMPARE(::stat(QFile::encodeName(newest).constData(), &status), 0);
            QCOMPARE(status.st_mode & 0777, 0600u);
        }
        // Two runs within one second must not share a name.
        QVERIFY(VaultBackup::isBackupName(backupsIn(folder).constFirst()));
        QVERIFY(VaultBackup::isBackupName(backupsIn(folder).constLast()));
    }

    // Twelve runs leave the ten newest; what is not ours stays, whatever its name looks like.
    void keepsTheNewestTenOfOurOwnOnly() {
        TempVault vault;
        const QString folder = VaultBackup::folderFor(vault.dbPath());
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/DB-20000101-000000.xml")));
        const QStringList foreign = {QStringLiteral("notes.txt"), QStringLiteral("DB-2024.xml"),
                                     QStringLiteral("DB-20000101-000000.xml.bak"), QStringLiteral("DB.xml")};
        for (const QString& name : foreign) {
            QVERIFY(writeFile(folder + u'/' + name, {}));
        }
        const QDateTime start(QDate(2025, 3, 1), QTime(9, 0, 0));
        QStringList written;
        for (int run = 0; run < 12; ++run) {
            // Runs 4 and 5 start within the same second as run 3.
            const int second = run < 3 ? run : (run <= 5 ? 3 : run);
            written << QFileInfo(VaultBackup::write(vault.module().VaultConnection, start.addSecs(second))).fileName();
        }
        QCOMPARE(written.mid(3, 3),
                 QStringList({QStringLiteral("DB-20250301-090003.xml"), QStringLiteral("DB-20250301-090003-2.xml"),
                              QStringLiteral("DB-20250301-090003-3.xml")}));
        QStringList expected = written.mid(2) + foreign;
        expected.sort();
        QCOMPARE(backupsIn(folder), expected);
        QVERIFY(QFileInfo(folder + QStringLiteral("/DB-20000101-000000.xml")).isDir());
    }

    // Ten backups dated ahead (a clock that once ran fast) must not push out the backups of the
    // runs that follow them: the previous run's backup survives the next run.
    void pruningGoesByWhenCopiesWereMade_data() {
        QTest::addColumn<int>("secondsAheadOfItsName"); // how far ahead the clock ran when each was written
        QTest::newRow("names ahead, written before") << 0;
        QTest::newRow("names and times ahead") << 40 * 24 * 3600;
    }
    void pruningGoesByWhenCopiesWereMade() {
        QFETCH(int, secondsAheadOfItsName);
        TempVault vault;
        const QString folder = VaultBackup::folderFor(vault.dbPath());
        QVERIFY(QDir().mkpath(folder));
        const QDateTime now = QDateTime::currentDateTime();
        for (int i = 0; i < 10; ++i) {
            const QString path =
                folder +
                QStringLiteral("/DB-%1.xml").arg(now.addDays(30 + i).toString(QStringLiteral("yyyyMMdd-HHmmss")));
            QVERIFY(writeFile(path, "a backup"));
            setModified(path, secondsAheadOfItsName ? now.addSecs(secondsAheadOfItsName) : now.addSecs(-3600 + i));
        }
        Connection& connection = vault.module().VaultConnection;
        const QString previous = VaultBackup::write(connection, now.addSecs(-60));
        const QString latest = VaultBackup::write(connection, now.addSecs(-120)); // its clock was set back
        QVERIFY(QFileInfo::exists(previous));
        QVERIFY(QFileInfo::exists(latest));
        QCOMPARE(backupsIn(folder).size(), VaultBackup::KeepNewest);
    }

    // A copy a killed run left half-written is cleared away at the next backup; nothing else is.
    void halfWrittenCopiesOfKilledRunsAreCleared_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("cleared");
        const QString gone = QString::number(endedProcess());
        QTest::newRow("of an ended process") << QStringLiteral(".DB-%1-0badc0de.part").arg(gone) << true;
        QTest::newRow("its journal") << QStringLiteral(".DB-%1-0badc0de.part-journal").arg(gone) << true;
        QTest::newRow("of a running process") << QStringLiteral(".DB-%1-0badc0de.part").arg(::getppid()) << false;
        QTest::newRow("of process 1") << QStringLiteral(".DB-1-0badc0de.part") << false;
        QTest::newRow("not ours") << QStringLiteral(".DB-%1-notours.part").arg(gone) << false;
        QTest::newRow("not hidden") << QStringLiteral("DB-%1-0badc0de.part").arg(gone) << false;
    }
    void halfWrittenCopiesOfKilledRunsAreCleared() {
        QFETCH(QString, name);
        QFETCH(bool, cleared);
        TempVault vault;
        const QString folder = VaultBackup::folderFor(vault.dbPath());
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(writeFile(folder + u'/' + name, "half a copy"));
        const QString written = VaultBackup::write(vault.module().VaultConnection);
        QCOMPARE(QFileInfo::exists(folder + u'/' + name), !cleared);
        QStringList expected{QFileInfo(written).fileName()};
        if (!cleared) {
            expected << name;
        }
        expected.sort();
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name), expected);
    }

    // A backup that cannot be written is told once; every write goes ahead.
    void aFailedBackupIsToldOnceAndTheWriteGoesAhead() {
        TempVault vault;
        QFile blocker(VaultBackup::folderFor(vault.dbPath()));
        QVERIFY(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
        blocker.close();
        FakePlatform desktop;
        Connection& connection = vault.module().VaultConnection;
        armBackupBeforeFirstWrite(connection, desktop.platform);

        connection.execute(Statements::setRootSeq(5));
        connection.execute(Statements::setRootSeq(6));
        QCOMPARE(desktop.boxes.shown.size(), 1);
        QCOMPARE(desktop.boxes.last().title, QStringLiteral("提示！"));
        QVERIFY(desktop.boxes.last().text.contains(VaultBackup::folderFor(vault.dbPath())));
        QVERIFY(desktop.boxes.last().text.endsWith(QStringLiteral("！")));
        QCOMPARE(vault.scalar(QStringLiteral("SELECT Seq FROM Quorvane_Type WHERE ID = 1")).toInt(), 6);
    }
};

VAULTRY_TEST_MAIN(TestBackup)
#include "tst_backup.moc"
