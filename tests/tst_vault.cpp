#include "support/ReadOnlyCopy.h"
#include "support/SuiteGuard.h"
#include "support/TempVault.h"
#include "support/TestFiles.h"
#include "vault/SecretCipher.h"
#include "vault/SqliteSupport.h"
#include "vault/Statements.h"
#include "vault/VaultError.h"

#include <sqlcipher/sqlite3.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

template <typename F> std::optional<VaultError> caught(F&& operation) {
    try {
        operation();
    } catch (const VaultError& error) {
        return error;
    }
    return std::nullopt;
}

template <typename F> long errorNumber(F&& operation) {
    const auto error = caught(operation);
    return error ? error->number() : 0;
}

// Makes a database file with the given key (none: a plain SQLite file) and statements.
void makeDatabase(const QString& path, const QByteArray& key, const char* sql) {
    sqlite3* db = nullptr;
    QCOMPARE(
        sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr),
        SQLITE_OK);
    if (!key.isEmpty()) {
        sqlite3_key(db, key.constData(), static_cast<int>(key.size()));
    }
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    sqlite3_close(db);
    QCOMPARE(rc, SQLITE_OK);
}

QString withZeros() {
    // A stored form as the cipher can produce it: U+0000 inside, a quote, Chinese, a character beyond 16 bits.
    QString text = QStringLiteral("a");
    text += QChar(u'\0');
    text += QStringLiteral("b'c密");
    text += QChar(u'\0');
    text += QString::fromUcs4(U"\U000F0081");
    return text;
}

// Tries to change the vault in `folder`; answers "<number>\n<description>" of the error, or "written".
QString attemptWrite(const QString& folder) {
    Connection connection;
    connection.setConnectionString(Connection::connectionTextFor(folder));
    try {
        connection.open();
    } catch (const VaultError& error) {
        return QStringLiteral("open failed %1\n%2").arg(error.number()).arg(error.description());
    }
    try {
        connection.execute(Statements::setRootSeq(77));
    } catch (const VaultError& error) {
        return QStringLiteral("%1\n%2").arg(error.number()).arg(error.description());
    }
    return QStringLiteral("written");
}

// Every row of a SELECT exactly as the engine gives it for the text, column names first.
QList<QVariantList> engineRows(sqlite3* db, const QString& sql) {
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare16_v2(db, sql.utf16(), static_cast<int>(sql.size() * 2), &statement, nullptr);
    QList<QVariantList> rows;
    QVariantList names;
    for (int c = 0; c < sqlite3_column_count(statement); ++c) {
        names.append(QString(static_cast<const QChar*>(sqlite3_column_name16(statement, c))));
    }
    rows.append(names);
    while (sqlite3_step(statement) == SQLITE_ROW) {
        QVariantList row;
        for (int c = 0; c < sqlite3_column_count(statement); ++c) {
            row.append(SqliteSupport::columnValue(statement, c));
        }
        rows.append(row);
    }
    sqlite3_finalize(statement);
    return rows;
}

// The same through a result set, read as the program reads: RecordCount first, then that many rows.
QList<QVariantList> recordsetRows(Connection& connection, const QString& sql, qint64* count = nullptr) {
    Recordset rs;
    rs.open(sql, connection);
    QList<QVariantList> rows;
    QVariantList names;
    for (const QString& name : rs.columns()) {
        names.append(name);
    }
    rows.append(names);
    const qint64 n = rs.recordCount();
    for (qint64 i = 1; i <= n; ++i) {
        QVariantList row;
        for (const QString& name : rs.columns()) {
            row.append(rs.value(name));
        }
        rows.append(row);
        rs.moveNext();
    }
    if (count) {
        *count = n;
    }
    return rows;
}

const QString ExportVault = QStringLiteral(VAULTRY_BIN_DIR "/exportvault");

// Gives the vault a master password, stored as the password dialog stores it.
void storeMasterPassword(TempVault& vault, const QString& password) {
    const QString suffix = vault.scalar(QStringLiteral("SELECT Seq FROM Quorvane_Type WHERE ID=1")).toString();
    vault.exec(QStringLiteral("UPDATE Quorvane_Login SET Pass=? WHERE ID=1"),
               {EncodeSecret(password + suffix, Module::SecretKey)});
}

// Reads what a terminal shows until `wanted` appears or five seconds pass.
QByteArray readUntil(int terminal, const QByteArray& wanted) {
    QByteArray seen;
    QElapsedTimer clock;
    clock.start();
    while (!seen.contains(wanted) && clock.elapsed() < 5000) {
        pollfd ready{terminal, POLLIN, 0};
        if (::poll(&ready, 1, 100) == 1) {
            char buffer[256];
            const ssize_t n = ::read(terminal, buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            seen.append(buffer, n);
        }
    }
    return seen;
}

bool echoes(int terminal) {
    termios settings{};
    return ::tcgetattr(terminal, &settings) == 0 && (settings.c_lflag & ECHO) != 0;
}

} // namespace

class TestVault : public QObject {
    Q_OBJECT

private slots:
    void connectionText() {
        const QString text = Connection::connectionTextFor(QStringLiteral("/opt/vault;x"));
        QCOMPARE(text, QStringLiteral("Provider=Microsoft.jet.oledb.4.0;data source=/opt/vault;x\\DB.xml;Persist "
                                      "Security Info=False ;jet oledb:database password=Brindlex"));
        QCOMPARE(Connection::dataSourceOf(text), QStringLiteral("/opt/vault;x/DB.xml"));
        QCOMPARE(Connection::passwordOf(text), QStringLiteral("Brindlex"));
        const QString otherCase = QStringLiteral("DATA SOURCE=/v\\DB.xml;JET OLEDB:Database Password=Pw");
        QCOMPARE(Connection::dataSourceOf(otherCase), QStringLiteral("/v/DB.xml"));
        QCOMPARE(Connection::passwordOf(otherCase), QStringLiteral("Pw"));
    }

    // Each text against the catalogue's, then run once on a real file, so that a text the engine
    // refuses fails too; check, where given, reads back what the statement wrote.
    void statementTexts_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("catalogue");
        QTest::addColumn<QVariantList>("parameters");
        QTest::addColumn<QString>("check");
        QTest::addColumn<QVariant>("checked");
        const QVariantList select;
        const QVariantList none;
        QTest::newRow("1 login row") << Statements::loginRow() << "Select * from Quorvane_Login Where ID=1" << select
                                     << QString() << QVariant();
        QTest::newRow("2 all entries") << Statements::allEntries() << "Select * from Quorvane_Pass" << select
                                       << QString() << QVariant();
        QTest::newRow("3 root category") << Statements::rootCategory() << "Select * from Quorvane_Type where Pid=-1"
                                         << select << QString() << QVariant();
        QTest::newRow("4 root seq") << Statements::setRootSeq(-3) << "Update Quorvane_Type Set Seq = -3 Where PID=-1"
                                    << none << "SELECT Seq FROM Quorvane_Type WHERE ID = 1" << QVariant(qint64(-3));
        QTest::newRow("5 login row for change")
            << Statements::loginRowForChange() << "Select * from Quorvane_Login where id=1" << select << QString()
            << QVariant();
        // The stored form travels bound, not spliced in as a literal.
        QTest::newRow("6 login pass") << Statements::setLoginPass() << "Update Quorvane_Login Set Pass = ? Where ID=1"
                                      << QVariantList{QStringLiteral("x'y")}
                                      << "SELECT Pass FROM Quorvane_Login WHERE ID = 1"
                                      << QVariant(QStringLiteral("x'y"));
        QTest::newRow("7 child categories")
            << Statements::childCategories(-1) << "Select * from Quorvane_Type Where PID =-1 Order by Seq,ID" << select
            << QString() << QVariant();
        QTest::newRow("8 category") << Statements::category(1) << "Select * from Quorvane_Type Where ID =1" << select
                                    << QString() << QVariant();
        QTest::newRow("9 delete category") << Statements::deleteCategory(99) << "Delete From Quorvane_Type Where ID =99"
                                           << none << QString() << QVariant();
        QTest::newRow("10 entries of category, count")
            << Statements::entriesOfCategoryCount(1) << "Select * from Quorvane_Pass Where Type =1" << select
            << QString() << QVariant();
        QTest::newRow("11 entries of category")
            << Statements::entriesOfCategory(1) << "Select * from Quorvane_Pass Where Type =1 Order by Seq,ID" << select
            << QString() << QVariant();
        QTest::newRow("12 entry") << Statements::entry(3000000000)
                                  << "Select * from Quorvane_Pass Where ID =3000000000 Order by Seq" << select
                                  << QString() << QVariant();
        QTest::newRow("13 entry for save") << Statements::entryForSave(0) << "Select * from Quorvane_Pass where ID=0"
                                           << select << QString() << QVariant();
        QTest::newRow("14 delete entry") << Statements::deleteEntry(12) << "Delete from Quorvane_Pass Where ID=12"
                                         << none << QString() << QVariant();
    }
    void statementTexts() {
        QFETCH(QString, text);
        QFETCH(QString, catalogue);
        QFETCH(QVariantList, parameters);
        QFETCH(QString, check);
        QFETCH(QVariant, checked);
        QCOMPARE(text, catalogue);

        // One file for every row: keying a fresh one costs more than the whole check.
        static TempVault vault;
        Connection& connection = vault.module().VaultConnection;
        if (text.startsWith(u"Select")) {
            Recordset rs;
            rs.open(text, connection);
        } else {
            connection.execute(text, parameters);
        }
        if (!check.isEmpty()) {
            QCOMPARE(vault.scalar(check), checked);
        }
    }

    void exactCountsAndCursor() {
        TempVault vault;
        vault.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 25) "
                                  "INSERT INTO Quorvane_Pass (Type, Caption, Seq) SELECT 7, 'e' || i, 1 FROM n"));
        Recordset rs;
        rs.open(Statements::entriesOfCategory(7), vault.module().VaultConnection);
        QCOMPARE(rs.recordCount(), 25);
        for (int i = 1; i <= 25; ++i) {
            QVERIFY(!rs.atEnd());
            QCOMPARE(rs.text(QStringLiteral("Caption")), QStringLiteral("e%1").arg(i));
            rs.moveNext();
        }
        QVERIFY(rs.atEnd());
        QCOMPARE(errorNumber([&] { rs.value(QStringLiteral("ID")); }), VaultError::NoCurrentRow);
        QCOMPARE(errorNumber([&] { rs.moveNext(); }), VaultError::NoCurrentRow);

        // Closed, the same object opens again; an empty result has no current row.
        rs.close();
        QCOMPARE(errorNumber([&] { rs.recordCount(); }), VaultError::OperationNotAllowed);
        rs.open(Statements::childCategories(1), vault.module().VaultConnection);
        QCOMPARE(rs.recordCount(), 0);
        QVERIFY(rs.atEnd());
        const auto noRow = caught([&] { rs.text(QStringLiteral("Name")); });
        QVERIFY(noRow);
        QCOMPARE(noRow->number(), VaultError::NoCurrentRow);
        QVERIFY(!noRow->description().isEmpty());
        QCOMPARE(errorNumber([&] { rs.setValue(QStringLiteral("Name"), QStringLiteral("x")); }),
                 VaultError::NoCurrentRow);
    }

    void valuesAndTypedReads() {
        TempVault vault;
        vault.exec(QStringLiteral("INSERT INTO Quorvane_Pass (ID, Type, Caption, Name, Pass, Www, Remark, Sort, Seq) "
                                  "VALUES (5, 1, '', NULL, '-12', '42.5', 'abc', 40000, 1)"));
        Recordset rs;
        rs.open(Statements::entry(5), vault.module().VaultConnection);
        // Null and empty text are told apart.
        QVERIFY(rs.value(QStringLiteral("Caption")).isValid());
        QCOMPARE(rs.text(QStringLiteral("Caption")), QString());
        QVERIFY(rs.value(QStringLiteral("Name")).isNull());
        QCOMPARE(errorNumber([&] { rs.text(QStringLiteral("Name")); }), VaultError::InvalidUseOfNull);
        QCOMPARE(errorNumber([&] { rs.int16(QStringLiteral("Name")); }), VaultError::InvalidUseOfNull);
        // Column names in any case.
        QCOMPARE(rs.text(QStringLiteral("cAPTION")), QString());
        QCOMPARE(rs.integer(QStringLiteral("id")), 5);
        QCOMPARE(rs.integer(QStringLiteral("TYPE")), 1);
        QCOMPARE(errorNumber([&] { rs.value(QStringLiteral("Nope")); }), VaultError::OperationNotAllowed);
        // Numbers from text, text from numbers, and the limits of 16 bits.
        QCOMPARE(rs.int16(QStringLiteral("Pass")), qint16(-12));
        QCOMPARE(rs.integer(QStringLiteral("Www")), 42); // half to even
        QCOMPARE(rs.text(QStringLiteral("Sort")), QStringLiteral("40000"));
        QCOMPARE(rs.integer(QStringLiteral("Sort")), 40000);
        QCOMPARE(errorNumber([&] { rs.int16(QStringLiteral("Sort")); }), VaultError::Overflow);
        QCOMPARE(errorNumber([&] { rs.integer(QStringLiteral("Remark")); }), VaultError::TypeMismatch);
    }

    void addNewOnEmptyResult() {
        TempVault vault;
        vault.exec(QStringLiteral("INSERT INTO Quorvane_Pass (Type, Caption, Name, Seq) VALUES (1, 'one', 'n1', 1);"
                                  "INSERT INTO Quorvane_Pass (Type, Caption, Name, Seq) VALUES (1, 'two', 'n2', 1)"));
        const QString before =
            vault
                .scalar(QStringLiteral("SELECT group_concat(ID || Type || Caption || Name || Seq, '|') "
                                       "FROM Quorvane_Pass"))
                .toString();
        const auto rs = vault.module().freshRecordset();
        rs->open(Statements::entryForSave(0), vault.module().VaultConnection);
        QCOMPARE(rs->recordCount(), 0);
        rs->addNew();
        rs->setValue(QStringLiteral("Type"), QStringLiteral("3")); // the node's key, as text
        rs->setValue(QStringLiteral("caption"), QStringLiteral("三"));
        rs->setValue(QStringLiteral("Name"), QString()); // an empty field stays an empty text
        rs->setValue(QStringLiteral("Www"), QStringLiteral(""));
        rs->setValue(QStringLiteral("Seq"), qint16(1));
        // What is assigned reads back before it is written.
        QCOMPARE(rs->int16(QStringLiteral("Seq")), qint16(1));
        QCOMPARE(rs->text(QStringLiteral("Type")), QStringLiteral("3"));
        rs->update();
        // The new row is current, with the key the database gave it.
        QCOMPARE(rs->recordCount(), 1);
        QCOMPARE(rs->integer(QStringLiteral("ID")), 3);
        QCOMPARE(rs->text(QStringLiteral("Caption")), QStringLiteral("三"));
        rs->close();

        QCOMPARE(vault.count(QStringLiteral("Quorvane_Pass")), 3);
        QCOMPARE(vault.scalar(QStringLiteral("SELECT typeof(Type) || Type FROM Quorvane_Pass WHERE ID = 3")),
                 QVariant(QStringLiteral("integer3")));
        QCOMPARE(vault.scalar(QStringLiteral("SELECT typeof(Name) || typeof(Www) || typeof(Pass) FROM Quorvane_Pass "
                                             "WHERE ID = 3")),
                 QVariant(QStringLiteral("texttextnull")));
        QCOMPARE(vault.scalar(QStringLiteral("SELECT group_concat(ID || Type || Caption || Name || Seq, '|') FROM "
                                             "Quorvane_Pass WHERE ID < 3")),
                 QVariant(before));

        // A result that is not one table's rows cannot take a row.
        for (const QString& notOneTable : {QStringLiteral("Select * from Quorvane_Pass, Quorvane_Type"),
                                           QStringLiteral("Select ID, Caption || 'x' as Caption from Quorvane_Pass")}) {
            rs->open(notOneTable, vault.module().VaultConnection);
            QCOMPARE(errorNumber([&] { rs->addNew(); }), VaultError::OperationNotAllowed);
            QCOMPARE(vault.count(QStringLiteral("Quorvane_Pass")), 3);
        }
    }

    void updateOfCurrentRow() {
        TempVault vault;
        vault.addCategory(QStringLiteral("a"), RootCategory::Key, 1, 2);
        vault.addCategory(QStringLiteral("b"), RootCategory::Key, 1, 3);
        Recordset rs;
        rs.open(Statements::category(3), vault.module().VaultConnection);
        rs.setValue(QStringLiteral("Name"), QStringLiteral("renamed"));
        QCOMPARE(rs.text(QStringLiteral("Name")), QStringLiteral("renamed"));
        rs.update();
        rs.close();
        QCOMPARE(vault.scalar(QStringLiteral("SELECT group_concat(ID || Name, ',') FROM Quorvane_Type")),
                 QVariant(QStringLiteral("1全部分类,2a,3renamed")));

        // The row went away after it was read: nothing is written, and the caller hears of it.
        rs.open(Statements::category(2), vault.module().VaultConnection);
        vault.exec(QStringLiteral("DELETE FROM Quorvane_Type WHERE ID = 2"));
        rs.setValue(QStringLiteral("Name"), QStringLiteral("ghost"));
        QVERIFY(caught([&] { rs.update(); }).has_value());
        QCOMPARE(vault.count(QStringLiteral("Quorvane_Type")), 2);
        QCOMPARE(vault.count(QStringLiteral("Quorvane_Type"), QStringLiteral("Name = 'ghost'")), 0);
    }

    void equalSeqListsInIdOrder() {
        TempVault vault;
        vault.exec(
            QStringLiteral("INSERT INTO Quorvane_Type (ID, PID, Name, Seq) VALUES "
                           "(9, 1, 'n9', 1), (5, 1, 'n5', 1), (20, 1, 'n20', 0), (7, 1, 'n7', 1), (8, 2, 'x', 0);"
                           "INSERT INTO Quorvane_Pass (ID, Type, Caption, Seq) VALUES "
                           "(30, 4, 'p30', 1), (10, 4, 'p10', 1), (40, 4, 'p40', 0)"));
        auto order = [&](const QString& sql) {
            Recordset rs;
            rs.open(sql, vault.module().VaultConnection);
            QStringList ids;
            for (qint64 i = 1; i <= rs.recordCount(); ++i) {
                ids.append(rs.text(QStringLiteral("ID")));
                rs.moveNext();
            }
            return ids.join(u',');
        };
        QCOMPARE(order(Statements::childCategories(1)), QStringLiteral("20,5,7,9"));
        QCOMPARE(order(Statements::entriesOfCategory(4)), QStringLiteral("40,10,30"));
    }

    // The layer reads large results a page at a time and counts them with the engine, and it
    // prepares texts that differ only in a key once: whatever the text, the rows, their order,
    // the column names and the count must be the engine's own for that very text.
    void rowsAreTheEnginesForTheText_data() {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<int>("expectedCount");
        const auto row = [](const char* name, const QString& sql, int count) { QTest::newRow(name) << sql << count; };
        row("list of a large category", Statements::entriesOfCategory(7), 600);
        row("every entry", Statements::allEntries(), 610);
        row("a count check", Statements::entriesOfCategoryCount(8), 10);
        row("key in a text",
            QStringLiteral("Select * from Quorvane_Pass Where Caption = 'e 7' or Type = 8 Order by ID"), 12);
        row("column number", QStringLiteral("Select * from Quorvane_Pass Where Type = 7 Order by 2, 1 desc"), 600);
        row("limit after the order",
            QStringLiteral("Select * from Quorvane_Pass Where Type = 7 Order by ID desc Limit 300"), 300);
        row("literal as a column", QStringLiteral("Select ID, 5, Caption from Quorvane_Pass Where Type =7 and 5 = 5"),
            600);
        row("negative key", Statements::childCategories(-1), 1);
        row("key beyond 64 bits",
            QStringLiteral("Select * from Quorvane_Pass Where ID < 99999999999999999999 Order by ID"), 610);
        row("key in a subquery", QStringLiteral("Select * from Quorvane_Pass Where Type IN (Select 8) Order by Seq,ID"),
            10);
        row("comment", QStringLiteral("Select * from Quorvane_Pass -- Where Type = 8\n Where Type = 7 Order by ID;"),
            600);
        row("grouped", QStringLiteral("Select Type, count(*) from Quorvane_Pass Where ID > 3 Group by Type Order by 2"),
            2);
    }

    void rowsAreTheEnginesForTheText() {
        QFETCH(QString, sql);
        QFETCH(int, expectedCount);
        TempVault vault;
        vault.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 610) "
                                  "INSERT INTO Quorvane_Pass (Type, Caption, Seq) "
                                  "SELECT CASE WHEN i % 61 = 0 THEN 8 ELSE 7 END, 'e ' || i, i % 3 FROM n"));
        vault.exec(QStringLiteral("UPDATE Quorvane_Pass SET Caption = 'e 7' WHERE ID = 9"));
        Connection& connection = vault.module().VaultConnection;
        qint64 count = -1;
        // Twice: the second time on the statements the first left prepared.
        for (int round = 0; round < 2; ++round) {
            const QList<QVariantList> rows = recordsetRows(connection, sql, &count);
            QCOMPARE(count, expectedCount);
            QCOMPARE(rows, engineRows(connection.handle(), sql));
        }
    }

    // Writing through a large result before its last row is read: the rows still to come are the
    // ones it opened on, and the file is free for others once it is read or closed.
    void largeResultWritesAndLetsGo() {
        TempVault vault;
        vault.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 700) "
                                  "INSERT INTO Quorvane_Pass (Type, Caption, Seq) SELECT 7, 'e' || i, 1 FROM n"));
        Connection& connection = vault.module().VaultConnection;
        Recordset rs;
        rs.open(Statements::entriesOfCategory(7), connection);
        QCOMPARE(rs.recordCount(), 700);
        rs.moveNext();
        rs.setValue(QStringLiteral("Seq"), 9); // moves the second row to the end of the order
        rs.moveNext();                         // writes it first
        QStringList seen{QStringLiteral("e1"), QStringLiteral("e2")};
        for (qint64 i = 3; i <= rs.recordCount(); ++i) {
            seen.append(rs.text(QStringLiteral("Caption")));
            rs.moveNext();
        }
        QVERIFY(rs.atEnd());
        QCOMPARE(seen.size(), 700);
        QCOMPARE(seen.last(), QStringLiteral("e700"));
        QCOMPARE(seen.count(QStringLiteral("e2")), 1);
        QCOMPARE(vault.scalar(QStringLiteral("SELECT Seq FROM Quorvane_Pass WHERE Caption = 'e2'")).toLongLong(), 9);
        rs.addNew();
        rs.setValue(QStringLiteral("Type"), 7);
        rs.update();
        QCOMPARE(rs.recordCount(), 701);
        QCOMPARE(rs.integer(QStringLiteral("ID")), 701);

        // Closed after a few rows, or read to the end: another program writes at once.
        rs.open(Statements::entriesOfCategory(7), connection);
        rs.moveNext();
        rs.close();
        // Another connection writes at once: a file still held would fail its short busy wait.
        vault.exec(QStringLiteral("UPDATE Quorvane_Pass SET Caption = 'x' WHERE ID = 1"));
        QCOMPARE(recordsetRows(connection, Statements::allEntries()).size(), 702);
        vault.exec(QStringLiteral("UPDATE Quorvane_Pass SET Caption = 'y' WHERE ID = 1"));
    }

    void zeroCharactersSurvive() {
        TempVault vault;
        const QString stored = withZeros();
        // Through the result set.
        Recordset rs;
        rs.open(Statements::entryForSave(0), vault.module().VaultConnection);
        rs.addNew();
        rs.setValue(QStringLiteral("Pass"), stored);
        rs.update();
        QCOMPARE(rs.text(QStringLiteral("Pass")), stored);
        rs.close();
        rs.open(Statements::entry(1), vault.module().VaultConnection);
        QCOMPARE(rs.text(QStringLiteral("Pass")), stored);
        rs.close();
        QCOMPARE(vault.scalar(QStringLiteral("SELECT length(CAST(Pass AS BLOB)) FROM Quorvane_Pass")).toLongLong(),
                 stored.size() * 2);

        // Through a command with the master password's stored form bound to it.
        vault.module().VaultConnection.execute(Statements::setLoginPass(), {stored});
        rs.open(Statements::loginRow(), vault.module().VaultConnection);
        QCOMPARE(rs.text(QStringLiteral("Pass")), stored);
        QCOMPARE(vault.scalar(QStringLiteral("SELECT Pass FROM Quorvane_Login")).toString(), stored);
    }

    void sixtyFourBitKeys() {
        TempVault vault;
        const qint64 big = 3000000000;
        vault.addCategory(QStringLiteral("mid"), RootCategory::Key, 1, 40000);
        vault.addCategory(QStringLiteral("big"), 40000, 1, big);
        Recordset rs;
        rs.open(Statements::childCategories(40000), vault.module().VaultConnection);
        QCOMPARE(rs.recordCount(), 1);
        QCOMPARE(rs.integer(QStringLiteral("ID")), big);
        QCOMPARE(errorNumber([&] { rs.int16(QStringLiteral("PID")); }), VaultError::Overflow);

        // A new row after the big key gets the next key, and it is saved and read back whole.
        rs.open(Statements::entryForSave(0), vault.module().VaultConnection);
        rs.addNew();
        rs.setValue(QStringLiteral("Type"), big);
        rs.setValue(QStringLiteral("Caption"), QStringLiteral("deep"));
        rs.update();
        const qint64 id = rs.integer(QStringLiteral("ID"));
        rs.close();
        rs.open(Statements::entriesOfCategory(big), vault.module().VaultConnection);
        QCOMPARE(rs.recordCount(), 1);
        QCOMPARE(rs.integer(QStringLiteral("ID")), id);
        vault.addEntry({.caption = QStringLiteral("x")}, 2147483650);
        rs.open(Statements::entryForSave(2147483650), vault.module().VaultConnection);
        rs.setValue(QStringLiteral("Caption"), QStringLiteral("y"));
        rs.update();
        QCOMPARE(vault.scalar(QStringLiteral("SELECT Caption FROM Quorvane_Pass WHERE ID = 2147483650")).toString(),
                 QStringLiteral("y"));
    }

    void commandChecks() {
        TempVault vault;
        Connection& connection = vault.module().VaultConnection;
        QVERIFY(caught(
            [&] { connection.execute(QStringLiteral("DELETE FROM Quorvane_Type; DELETE FROM Quorvane_Login")); }));
        QVERIFY(caught([&] { connection.execute(Statements::setLoginPass()); }));
        QCOMPARE(vault.count(QStringLiteral("Quorvane_Type")), 1);
        QCOMPARE(vault.count(QStringLiteral("Quorvane_Login")), 1);
        Recordset rs;
        QVERIFY(caught([&] { rs.open(QStringLiteral("DELETE FROM Quorvane_Type"), connection); }));
        QCOMPARE(vault.count(QStringLiteral("Quorvane_Type")), 1);
    }

    // Misuse of the data layer is the program's fault, not the file's: it must not carry the engine's
    // number, for which the category dialog ends the program.
    void misuseIsNotAnEngineFailure_data() {
        QTest::addColumn<QString>("misuse");
        for (const char* misuse :
             {"record set not open", "missing column", "wrong parameter count", "row added to two tables"}) {
            QTest::newRow(misuse) << QString::fromLatin1(misuse);
        }
    }

    void misuseIsNotAnEngineFailure() {
        QFETCH(QString, misuse);
        TempVault vault;
        Connection& connection = vault.module().VaultConnection;
        Recordset rs;
        const auto error = caught([&] {
            if (misuse == QLatin1String("record set not open")) {
                rs.recordCount();
            } else if (misuse == QLatin1String("missing column")) {
                rs.open(Statements::category(1), connection);
                rs.value(QStringLiteral("Nope"));
            } else if (misuse == QLatin1String("wrong parameter count")) {
                connection.execute(Statements::setLoginPass());
            } else if (misuse == QLatin1String("row added to two tables")) {
                rs.open(QStringLiteral("Select * from Quorvane_Pass, Quorvane_Type"), connection);
                rs.addNew();
            }
        });
        QVERIFY(error);
        QCOMPARE(error->number(), VaultError::OperationNotAllowed);
        QVERIFY(!error->description().isEmpty());
    }

    void openFailures_data() {
        QTest::addColumn<QString>("kind");
        for (const char* kind : {"missing", "wrong password", "empty file", "text file", "plain SQLite", "no tables"}) {
            QTest::newRow(kind) << QString::fromLatin1(kind);
        }
    }

    void openFailures() {
        QFETCH(QString, kind);
        TempVault vault(kind == QLatin1String("wrong password"));
        QString connectionText = Connection::connectionTextFor(vault.folder());
        const QString path = vault.dbPath();
        if (kind == QLatin1String("wrong password")) {
            connectionText.replace(QStringLiteral("Brindlex"), QStringLiteral("Brindlez"));
        } else if (kind == QLatin1String("empty file")) {
            QVERIFY(writeFile(path, {}));
        } else if (kind == QLatin1String("text file")) {
            QVERIFY(writeFile(path, "<?xml version=\"1.0\"?>\n<vault/>\n"));
        } else if (kind == QLatin1String("plain SQLite")) {
            makeDatabase(
                path, {},
                "CREATE TABLE Quorvane_Type(ID); CREATE TABLE Quorvane_Pass(ID); CREATE TABLE Quorvane_Login(ID)");
        } else if (kind == QLatin1String("no tables")) {
            makeDatabase(path, "Brindlex", "CREATE TABLE Other(ID)");
        }
        const QByteArray before = readFile(path);

        Connection connection;
        connection.setConnectionString(connectionText);
        const auto error = caught([&] { connection.open(); });
        QVERIFY(error);
        QCOMPARE(error->number(), VaultError::EngineFailure);
        QVERIFY2(error->description().contains(path), qPrintable(error->description()));
        QVERIFY(!connection.isOpen());
        QCOMPARE(QFile::exists(path), kind != QLatin1String("missing"));
        QCOMPARE(readFile(path), before);
    }

    void lockedFile() {
        TempVault vault;
        vault.exec(QStringLiteral("BEGIN EXCLUSIVE"));
        Connection connection;
        connection.setConnectionString(Connection::connectionTextFor(vault.folder()));
        connection.setBusyTimeout(600);
        QElapsedTimer timer;
        timer.start();
        const auto error = caught([&] { connection.open(); });
        QVERIFY(error);
        QCOMPARE(error->number(), VaultError::EngineFailure);
        QVERIFY(error->description().contains(vault.dbPath()));
        QVERIFY2(timer.elapsed() >= 500, "a locked file is waited for before it fails");
        QVERIFY(!connection.isOpen());
        vault.exec(QStringLiteral("COMMIT"));

        // A write waits, then fails, while another connection holds the file for writing.
        vault.exec(QStringLiteral("BEGIN IMMEDIATE"));
        const auto writeError = caught([&] { vault.module().VaultConnection.execute(Statements::setRootSeq(9)); });
        QVERIFY(writeError);
        QCOMPARE(writeError->number(), VaultError::EngineFailure);
        vault.exec(QStringLiteral("COMMIT"));
        connection.open();
        QVERIFY(connection.isOpen());
    }

    void readOnlyFile() {
        TempVault vault;
        const ReadOnlyCopy copy(vault.dbPath());
        QVERIFY(copy.isValid());
        const QByteArray before = copy.bytes();

        const ReadOnlyCopy::Outcome attempt = copy.runThisProgram({QStringLiteral("--attempt-write"), copy.folder()});
        if (!attempt.ran) {
            QSKIP(qPrintable(attempt.whyNot));
        }
        const QString& outcome = attempt.output;
        QVERIFY2(outcome.startsWith(QString::number(VaultError::EngineFailure) + u'\n'), qPrintable(outcome));
        QVERIFY2(outcome.contains(copy.file()), qPrintable(outcome));
        QCOMPARE(copy.bytes(), before);
    }

    void newvaultWritesFreshVault() {
        TempVault vault(false);
        QProcess process;
        process.start(QStringLiteral(VAULTRY_BIN_DIR "/newvault"), {vault.folder()});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        struct stat status {};
        QCOMPARE(::stat(QFile::encodeName(vault.dbPath()).constData(), &status), 0);
        QCOMPARE(status.st_mode & 07777, 0600u);

        vault.openModule();
        Recordset rs;
        rs.open(Statements::rootCategory(), vault.module().VaultConnection);
        QCOMPARE(rs.recordCount(), 1);
        QCOMPARE(rs.integer(QStringLiteral("ID")), 1);
        QCOMPARE(rs.int16(QStringLiteral("Seq")), qint16(0));
        rs.open(Statements::loginRow(), vault.module().VaultConnection);
        QCOMPARE(rs.recordCount(), 1);
        QVERIFY(rs.value(QStringLiteral("Pass")).isNull());
        rs.open(Statements::allEntries(), vault.module().VaultConnection);
        QCOMPARE(rs.recordCount(), 0);
        QCOMPARE(vault.count(QStringLiteral("Quorvane_Type")), 1);
        QCOMPARE(vault.scalar(
                     QStringLiteral("SELECT group_concat(text, '|') FROM (SELECT lower(sql) AS text FROM sqlite_master "
                                    "WHERE type = 'index' ORDER BY name)")),
                 QVariant(QStringLiteral("create index quorvane_pass_oftype on quorvane_pass (type, seq, id)|"
                                         "create index quorvane_type_children on quorvane_type (pid, seq, id)")));
        // Keys are never reused: a deleted highest key is not handed out again.
        QVERIFY(vault.scalar(QStringLiteral("SELECT sql FROM sqlite_master WHERE name = 'Quorvane_Pass'"))
                    .toString()
                    .contains(QStringLiteral("AUTOINCREMENT")));
    }

    // A result of more rows than are read when it opens, but not more than a page, is read whole
    // at once: the file is free for other programs while it stays open.
    void pageSizedResultsLetTheFileGo_data() {
        QTest::addColumn<int>("rows");
        QTest::newRow("33") << 33;
        QTest::newRow("256") << 256;
    }
    void pageSizedResultsLetTheFileGo() {
        QFETCH(int, rows);
        TempVault vault;
        vault.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                                  "INSERT INTO Quorvane_Pass (Type, Caption, Seq) SELECT 7, 'e' || i, 1 FROM n")
                       .arg(rows));
        Recordset rs;
        rs.open(Statements::entriesOfCategory(7), vault.module().VaultConnection);
        QCOMPARE(rs.recordCount(), rows);
        // Another program writes at once: a file still held would fail its short busy wait.
        vault.exec(QStringLiteral("UPDATE Quorvane_Pass SET Caption = 'changed' WHERE Type = 7"));
        for (int i = 1; i <= rows; ++i) {
            QCOMPARE(rs.text(QStringLiteral("Caption")), QStringLiteral("e%1").arg(i));
            rs.moveNext();
        }
        QVERIFY(rs.atEnd());
    }

    // A test that throws fails by itself, saying what was thrown; the tests after it still run.
    void aThrowingTestFailsAlone_data() {
        QTest::addColumn<QString>("line");
        QTest::newRow("vault error") << QStringLiteral("FAIL!  : ThrowingSuite::throws(vault error) Threw VaultError "
                                                       "-2147467259: 数据文件“/tmp/x/DB.xml”已损坏。");
        QTest::newRow("standard exception")
            << QStringLiteral("FAIL!  : ThrowingSuite::throws(standard exception) Threw St12out_of_range: index 7");
        QTest::newRow("the next row") << QStringLiteral("PASS   : ThrowingSuite::throws(nothing thrown)");
        QTest::newRow("the next test") << QStringLiteral("PASS   : ThrowingSuite::runsAfterwards()");
    }
    void aThrowingTestFailsAlone() {
        QFETCH(QString, line);
        QProcess suite;
        suite.start(QStringLiteral(THROWING_SUITE), QStringList());
        QVERIFY(suite.waitForFinished(30000));
        const QStringList output = QString::fromUtf8(suite.readAllStandardOutput()).split(u'\n');
        QVERIFY2(output.contains(line), qPrintable(output.join(u'\n')));
        QCOMPARE(suite.exitStatus(), QProcess::NormalExit);
        QCOMPARE(suite.exitCode(), 2);
    }

    // Ending exportvault while it asks for the password leaves the terminal echoing again.
    void exportvaultLeavesTheTerminalEchoing_data() {
        QTest::addColumn<int>("sent");
        QTest::newRow("Ctrl-C") << int(SIGINT);
        QTest::newRow("kill") << int(SIGTERM);
        QTest::newRow("terminal closed") << int(SIGHUP);
    }
    void exportvaultLeavesTheTerminalEchoing() {
        QFETCH(int, sent);
        TempVault vault;
        const QString outFile = vault.folder() + QStringLiteral("/out.xml");
        const QByteArray program = QFile::encodeName(ExportVault);
        const QByteArray folder = QFile::encodeName(vault.folder());
        const QByteArray out = QFile::encodeName(outFile);
        int terminal = -1;
        const pid_t child = ::forkpty(&terminal, nullptr, nullptr, nullptr);
        if (child == 0) {
            ::setenv("LC_ALL", "C.UTF-8", 1);
            ::execl(program.constData(), "exportvault", folder.constData(), out.constData(), nullptr);
            ::_exit(127);
        }
        QVERIFY(child > 0);
        const int userSide = ::open(::ptsname(terminal), O_RDWR | O_NOCTTY);
        const QByteArray prompt = readUntil(terminal, QStringLiteral("主密码：").toUtf8());
        QElapsedTimer clock;
        clock.start();
        while (echoes(userSide) && clock.elapsed() < 5000) {
            QTest::qWait(10);
        }
        const bool quietWhileAsking = !echoes(userSide);
        if (sent == SIGINT) {
            [[maybe_unused]] const ssize_t typed = ::write(terminal, "\x03", 1);
        } else {
            ::kill(child, sent);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        const bool echoingAfterwards = echoes(userSide);
        ::close(userSide);
        ::close(terminal);

        QVERIFY2(prompt.contains(QStringLiteral("主密码：").toUtf8()), prompt.constData());
        QVERIFY(quietWhileAsking);
        QVERIFY(echoingAfterwards);
        QVERIFY(WIFSIGNALED(status));
        QCOMPARE(WTERMSIG(status), sent);
        QVERIFY(!QFile::exists(outFile));
    }

    // exportvault's refusal of a character XML cannot carry names the entry whole.
    void exportvaultRefusalIsReadWhole_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("shown");
        QTest::newRow("U+0000") << QStringLiteral("A") + QChar(u'\0') + QStringLiteral("B密") << "A\\u0000B密";
        QTest::newRow("escape") << QStringLiteral("A\x1b[2JB") << "A\\u001B[2JB";
    }
    void exportvaultRefusalIsReadWhole() {
        QFETCH(QString, title);
        QFETCH(QString, shown);
        TempVault vault;
        storeMasterPassword(vault, QStringLiteral("pw"));
        vault.addEntry({.caption = title, .sort = QStringLiteral("普通账号")});
        const QString outFile = vault.folder() + QStringLiteral("/out.xml");
        QProcess tool;
        tool.start(ExportVault, {vault.folder(), outFile});
        tool.write("pw\n");
        tool.closeWriteChannel();
        QVERIFY(tool.waitForFinished(30000));
        const QString said = QString::fromUtf8(tool.readAllStandardError());
        QCOMPARE(tool.exitCode(), 1);
        QVERIFY2(said.contains(QStringLiteral("条目“%1”（ID 1）的标题含有").arg(shown)), qPrintable(said));
        QVERIFY2(said.contains(QStringLiteral("exportvault: nothing was written.")), qPrintable(said));
        QVERIFY(!QFile::exists(outFile));
    }

    void newvaultLeavesExistingFiles_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("some bytes") << QByteArray("precious, not a vault\n");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("none: usage") << QByteArray("-");
    }

    void newvaultLeavesExistingFiles() {
        QFETCH(QByteArray, content);
        TempVault vault(false);
        const bool usage = content == "-";
        if (!usage) {
            QVERIFY(writeFile(vault.dbPath(), content));
        }
        QProcess process;
        process.start(QStringLiteral(VAULTRY_BIN_DIR "/newvault"), usage ? QStringList() : QStringList{vault.folder()});
        QVERIFY(process.waitForFinished(30000));
        QVERIFY(process.exitCode() != 0);
        QVERIFY(!process.readAllStandardError().isEmpty());
        QCOMPARE(QFile::exists(vault.dbPath()), !usage);
        if (!usage) {
            QCOMPARE(readFile(vault.dbPath()), content);
        }
    }
};

int main(int argc, char* argv[]) {
    // The read-only check runs a copy of this program without root's rights (see readOnlyFile).
    if (argc == 3 && qstrcmp(argv[1], "--attempt-write") == 0) {
        std::fputs(attemptWrite(QString::fromLocal8Bit(argv[2])).toUtf8().constData(), stdout);
        return 0;
    }
    QCoreApplication app(argc, argv);
    TestVault test;
    return runGuarded(test, argc, argv);
}

#include "tst_vault.moc"
