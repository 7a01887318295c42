#include "app/BackupNotice.h"
#include "support/FakePlatform.h"
#include "support/TempVault.h"
#include "support/TestFiles.h"
#include "vault/Statements.h"
#include "vault/VaultBackup.h"
#include "vault/VaultError.h"

#include <sqlcipher/sqlite3.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <functional>
#include <sys/stat.h>

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
        vault.exec(QStringLiteral("INSERT INTO Quorvane_Pass (ID, Type, Caption) VALUES (1, 1, 'original')"));
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

QTEST_MAIN(TestBackup)
#include "tst_backup.moc"
