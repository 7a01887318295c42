// The data file protected by the master password: turning it on and off, the login, the change of
// the password, the start-up's recognition of files, and the tools.
#include "FakePlatform.h"
#include "ModalDriver.h"
#include "TempVault.h"
#include "TestFiles.h"
#include "app/FrmPass.h"
#include "app/FrmProtect.h"
#include "app/MainWindow.h"
#include "app/SessionLock.h"
#include "app/frmLogin.h"
#include "controls/FlatEdit.h"
#include "support/Child.h"
#include "support/SuiteGuard.h"
#include "vault/ProtectedVault.h"
#include "vault/SecretCipher.h"
#include "vault/SqliteSupport.h"
#include "vault/VaultBackup.h"
#include "vault/VaultKey.h"
#include "vault/VaultRekey.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QtTest>

namespace {

const QString WrongPassword = QStringLiteral("输入的密码有误,请重新再试！");
const QString Password = QStringLiteral("Tiger'7-口令");
const QString Caption = QStringLiteral("招商银行网银XYZZY");

void storeMasterPassword(TempVault& vault, const QString& password) {
    vault.exec(QStringLiteral("UPDATE Quorvane_Type SET Seq=4711 WHERE ID=1"));
    vault.exec(QStringLiteral("UPDATE Quorvane_Login SET Pass=? WHERE ID=1"),
               {EncodeSecret(password + QStringLiteral("4711"), Module::SecretKey)});
}

// A vault with a master password and entries whose stored forms hold what a copy could lose.
void fillVault(TempVault& vault) {
    storeMasterPassword(vault, Password);
    const qint64 bank = vault.addCategory(QStringLiteral("网银"));
    for (int i = 0; i < 40; ++i) {
        vault.addEntry({bank, Caption + QString::number(i), QStringLiteral("user%1").arg(i),
                        QStringLiteral("Tav'ss%1").arg(i), QStringLiteral("https://bank.example/"),
                        QStringLiteral("备注\r\n%1").arg(i), QStringLiteral("银行账号")});
    }
    vault.exec(QStringLiteral("DELETE FROM Quorvane_Pass WHERE ID=7"));
}

// Every row of the file read with key, the sequence of keys included; empty when key does not open it.
QStringList rowsOf(const QString& path, const QByteArray& key) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_key(db, key.constData(), static_cast<int>(key.size()));
    QStringList rows;
    for (const char* table : {"Quorvane_Type", "Quorvane_Pass", "Quorvane_Login", "sqlite_sequence"}) {
        SqliteSupport::StatementPtr statement;
        if (SqliteSupport::prepareOne(db, QStringLiteral("SELECT * FROM %1 ORDER BY 1").arg(table), statement) !=
            SQLITE_OK) {
            sqlite3_close_v2(db);
            return {};
        }
        while (sqlite3_step(statement.get()) == SQLITE_ROW) {
            QString row = QLatin1String(table);
            for (int c = 0; c < sqlite3_column_count(statement.get()); ++c) {
                const QVariant value = SqliteSupport::columnValue(statement.get(), c);
                row += u'|' + QString::number(value.typeId()) + u':' + value.toString();
            }
            rows << row;
        }
    }
    sqlite3_close_v2(db);
    return rows;
}

QByteArray databasePasswordKey() {
    return QByteArrayLiteral("Brindlex");
}

// The 文件 menu's item pressed as a user does: Yes to the explanation (when it comes), then each
// password typed into the dialog and OK pressed, until it closes (Cancel after the last one).
void pressProtect(Main& window, FakePlatform& fake, const QStringList& typed) {
    fake.boxes.queueAnswer(BoxAnswer::Yes);
    whenModal<FrmProtect>([typed](FrmProtect* dialog) {
        for (const QString& password : typed) {
            child<FlatEdit>(dialog, QStringLiteral("Edit_ZMM"))->setText(password);
            child<QPushButton>(dialog, QStringLiteral("Button_OK"))->click();
            if (!dialog->isVisible()) {
                return;
            }
        }
        child<QPushButton>(dialog, QStringLiteral("Button_Cancel"))->click();
    });
    child<QAction>(window, QStringLiteral("Protect"))->trigger();
}

bool menuShowsProtected(Main& window) {
    auto* file = child<QMenu>(window, QStringLiteral("File"));
    emit file->aboutToShow();
    return child<QAction>(window, QStringLiteral("Protect"))->isChecked();
}

QString toolPath(const char* name) {
    return QStringLiteral(VAULTRY_BIN_DIR "/") + QLatin1String(name);
}

int runTool(const char* name, const QStringList& arguments, const QString& typed, QString* output = nullptr) {
    QProcess tool;
    tool.start(toolPath(name), arguments);
    tool.write((typed + u'\n').toUtf8());
    tool.closeWriteChannel();
    if (!tool.waitForFinished(60000)) {
        return -1;
    }
    if (output) {
        *output = QString::fromLocal8Bit(tool.readAllStandardOutput() + tool.readAllStandardError());
    }
    return tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
}

} // namespace

class TestProtect : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void onOffOnKeepsEveryRowAndHidesThemFromTheDatabasePassword();
    void loginOnAProtectedVault_data();
    void loginOnAProtectedVault();
    void closedUnprotectedVaultOpensAtTheLogin();
    void startUpTellsProtectedFromDamaged_data();
    void startUpTellsProtectedFromDamaged();
    void changingThePasswordRekeysTheFile();
    void lockClosesAProtectedFileUntilItsPassword_data();
    void lockClosesAProtectedFileUntilItsPassword();
    void toolsOpenAndProtectFromTheTerminal();
};

void TestProtect::initTestCase() {
    // The program's cost is a second per key; files name their own cost, so cheap keys open as
    // their own, in the tools too.
    VaultKey::setCostForNewKeys({1u << 13, 1, 1});
}

void TestProtect::onOffOnKeepsEveryRowAndHidesThemFromTheDatabasePassword() {
    TempVault vault;
    fillVault(vault);
    const QStringList before = rowsOf(vault.dbPath(), databasePasswordKey());
    QCOMPARE(before.size(), 2 + 39 + 1 + 3);
    // After a login, as the user meets it: the start-up's reads have run on the connection.
    FakePlatform fake;
    Module module;
    Main window(module, fake.platform, vault.folder());
    whenModal<frmLogin>([](frmLogin* login) {
        child<QLineEdit>(login, QStringLiteral("txtPassword"))->setText(Password);
        child<QPushButton>(login, QStringLiteral("cmdOK"))->click();
    });
    QVERIFY(window.load());
    const QStringList itemNames = [&] {
        QStringList names;
        for (QAction* action : child<QMenu>(window, QStringLiteral("File"))->actions()) {
            names << action->objectName() + u'=' + action->text();
        }
        return names;
    }();
    QCOMPARE(itemNames, QStringList({QStringLiteral("Find=查找(&F)"), QStringLiteral("Passwode=修改密码"),
                                     QStringLiteral("Protect=用主密码加密数据文件(&K)"),
                                     QStringLiteral("Lock=锁定(&L)"), QStringLiteral("Exit=退出")}));
    QVERIFY(!menuShowsProtected(window));

    // Declining the explanation changes nothing; a wrong password is refused and changes nothing.
    child<QAction>(window, QStringLiteral("Protect"))->trigger();
    pressProtect(window, fake, {QStringLiteral("tiger'7-口令")});
    QCOMPARE(fake.boxes.texts().filter(WrongPassword).size(), 1);
    QCOMPARE(rowsOf(vault.dbPath(), databasePasswordKey()), before);
    QVERIFY(!menuShowsProtected(window));

    for (const bool on : {true, false, true}) {
        const qsizetype boxes = fake.boxes.shown.size();
        pressProtect(window, fake, {Password});
        QCOMPARE(fake.boxes.shown.size(), boxes + (on ? 2 : 1));
        QCOMPARE(fake.boxes.last().icon, BoxIcon::Information);
        QCOMPARE(menuShowsProtected(window), on);
        QCOMPARE(ProtectedVault::isProtectedFile(vault.dbPath()), on);
        const QByteArray key = on ? ProtectedVault::keyForFile(vault.dbPath(), Password) : databasePasswordKey();
        QCOMPARE(rowsOf(vault.dbPath(), key), before);
        QCOMPARE(rowsOf(vault.dbPath(), databasePasswordKey()).isEmpty(), on);
        // The file keeps its texts as UTF-16: a copy written without any key would show them so.
        QVERIFY(!readFile(vault.dbPath())
                     .contains(QByteArray(reinterpret_cast<const char*>(Caption.utf16()), Caption.size() * 2)));
    }
    // Each turn on first wrote a backup of the file as it was; a backup written while protected is
    // protected and shows nothing either.
    QCOMPARE(QDir(VaultBackup::folderFor(vault.dbPath())).entryList(QDir::Files).size(), 2);
    const QString backup = VaultBackup::write(module.VaultConnection, QDateTime(QDate(2030, 1, 1), QTime()));
    QVERIFY(rowsOf(backup, databasePasswordKey()).isEmpty());
    QCOMPARE(rowsOf(backup, ProtectedVault::keyForFile(backup, Password)), before);
    const QByteArray bytes = readFile(backup);
    for (const QByteArray& text :
         {Caption.toUtf8(), QByteArray(reinterpret_cast<const char*>(Caption.utf16()), Caption.size() * 2)}) {
        QVERIFY(!bytes.contains(text));
    }
    QVERIFY(QDir(vault.folder()).entryList({QStringLiteral(".DB-rekey-*")}, QDir::Hidden | QDir::Files).isEmpty());
}

void TestProtect::loginOnAProtectedVault_data() {
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<bool>("admitted");
    QTest::addColumn<QString>("messageAfterFirst");
    QTest::newRow("the master password") << QStringList{Password} << true << QString();
    QTest::newRow("wrong, then right") << QStringList{QStringLiteral("wrong"), Password} << true << WrongPassword;
    QTest::newRow("the database password") << QStringList{QStringLiteral("Brindlex")} << false << WrongPassword;
    QTest::newRow("empty") << QStringList{QString()} << false << WrongPassword;
}

void TestProtect::loginOnAProtectedVault() {
    QFETCH(QStringList, typed);
    QFETCH(bool, admitted);
    QFETCH(QString, messageAfterFirst);
    TempVault vault;
    fillVault(vault);
    VaultRekey::rekey(vault.module().VaultConnection, ProtectedVault::newKeyFor(Password));

    FakePlatform fake;
    Module module;
    Main window(module, fake.platform, vault.folder());
    bool openBeforeLogin = true;
    QString message;
    QString fieldAfterFirst;
    whenModal<frmLogin>([&](frmLogin* login) {
        openBeforeLogin = module.VaultConnection.isOpen();
        for (const QString& password : typed) {
            child<QLineEdit>(login, QStringLiteral("txtPassword"))->setText(password);
            child<QPushButton>(login, QStringLiteral("cmdOK"))->click();
            if (message.isNull()) {
                message = child<QLabel>(login, QStringLiteral("Label1"))->text();
                fieldAfterFirst = child<QLineEdit>(login, QStringLiteral("txtPassword"))->text();
            }
        }
        if (login->isVisible()) {
            child<QPushButton>(login, QStringLiteral("cmdCancel"))->click();
        }
    });
    QCOMPARE(window.load(), admitted);
    QVERIFY(!openBeforeLogin);
    QCOMPARE(message, messageAfterFirst);
    QCOMPARE(fieldAfterFirst, admitted && typed.size() == 1 ? Password : QString());
    QVERIFY(fake.boxes.shown.isEmpty());
    QCOMPARE(module.VaultConnection.isOpen(), admitted);
    if (admitted) {
        QCOMPARE(module.RootSeq, qint16(4711));
        QVERIFY(!module.MustSetPassword);
    }
}

// A connection its owner closed (a locked screen) is opened by the login as start-up opens it.
void TestProtect::closedUnprotectedVaultOpensAtTheLogin() {
    TempVault vault;
    storeMasterPassword(vault, Password);
    vault.module().VaultConnection.close();
    FakePlatform fake;
    frmLogin login(vault.module(), fake.platform, vault.folder());
    auto* field = child<QLineEdit>(login, QStringLiteral("txtPassword"));
    auto* ok = child<QPushButton>(login, QStringLiteral("cmdOK"));
    field->setText(QStringLiteral("wrong"));
    ok->click();
    QVERIFY(!vault.module().VaultConnection.isOpen());
    QCOMPARE(child<QLabel>(login, QStringLiteral("Label1"))->text(), WrongPassword);
    field->setText(Password);
    ok->click();
    QCOMPARE(login.result(), int(QDialog::Accepted));
    QVERIFY(vault.module().VaultConnection.isOpen());
    QCOMPARE(vault.module().RootSeq, qint16(4711));
    QVERIFY(fake.boxes.shown.isEmpty());
}

void TestProtect::startUpTellsProtectedFromDamaged_data() {
    QTest::addColumn<QByteArray>("start");
    QTest::addColumn<bool>("protectedFile");
    QByteArray random(4096, '\0');
    for (char& byte : random) {
        byte = static_cast<char>(QRandomGenerator::global()->bounded(256));
    }
    QTest::newRow("random bytes") << random << false;
    QTest::newRow("plain SQLite") << QByteArray("SQLite format 3\0", 16) + random << false;
    QTest::newRow("the mark, a cost no key has") << QByteArray("VRYK\x01\x1f\x02\x02", 8) + random << false;
    QTest::newRow("the mark, another layout") << QByteArray("VRYK\x02\x10\x02\x02", 8) + random << false;
    QTest::newRow("protected") << QByteArray() << true;
}

void TestProtect::startUpTellsProtectedFromDamaged() {
    QFETCH(QByteArray, start);
    QFETCH(bool, protectedFile);
    TempVault vault;
    if (protectedFile) {
        VaultRekey::rekey(vault.module().VaultConnection, ProtectedVault::newKeyFor(Password));
    } else {
        QVERIFY(writeFile(vault.dbPath(), start));
    }
    FakePlatform fake;
    Module module;
    Main window(module, fake.platform, vault.folder());
    bool loginShown = false;
    whenModal<frmLogin>([&](frmLogin* login) {
        loginShown = true;
        child<QPushButton>(login, QStringLiteral("cmdCancel"))->click();
    });
    QVERIFY(!window.load());
    QCOMPARE(loginShown, protectedFile);
    QCOMPARE(fake.boxes.shown.size(), protectedFile ? 0 : 1);
    if (!protectedFile) {
        QCOMPARE(fake.boxes.last().title, QStringLiteral("错误-2147467259"));
        QVERIFY(fake.boxes.last().text.contains(vault.dbPath()));
    }
}

void TestProtect::changingThePasswordRekeysTheFile() {
    TempVault vault;
    fillVault(vault);
    const QStringList before = rowsOf(vault.dbPath(), databasePasswordKey());
    VaultRekey::rekey(vault.module().VaultConnection, ProtectedVault::newKeyFor(Password));
    const QString newPassword = QStringLiteral("新的'密码");

    FakePlatform fake;
    FrmPass dialog(vault.module(), fake.platform, vault.folder());
    child<FlatEdit>(dialog, QStringLiteral("Edit_YMM"))->setText(Password);
    child<FlatEdit>(dialog, QStringLiteral("Edit_XMM"))->setText(newPassword);
    child<FlatEdit>(dialog, QStringLiteral("Edit_QRM"))->setText(newPassword);
    child<QPushButton>(dialog, QStringLiteral("Button_OK"))->click();
    QVERIFY(fake.boxes.shown.isEmpty());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));

    QVERIFY(rowsOf(vault.dbPath(), ProtectedVault::keyForFile(vault.dbPath(), Password)).isEmpty());
    QStringList after = rowsOf(vault.dbPath(), ProtectedVault::keyForFile(vault.dbPath(), newPassword));
    QCOMPARE(after.size(), before.size());
    const qsizetype login = before.indexOf(QRegularExpression(QStringLiteral("Quorvane_Login.*")));
    QVERIFY(login > 0);
    QCOMPARE(after.mid(0, login), before.mid(0, login));
    QCOMPARE(after.mid(login + 1), before.mid(login + 1));
    QVERIFY(after.at(login).endsWith(EncodeSecret(newPassword + QStringLiteral("4711"), Module::SecretKey)));

    // The next start opens with the new password only.
    Module module;
    module.VaultConnection.setConnectionString(Connection::connectionTextFor(vault.folder()));
    QVERIFY(!ProtectedVault::openWithPassword(module.VaultConnection, Password));
    QVERIFY(ProtectedVault::openWithPassword(module.VaultConnection, newPassword));
}

void TestProtect::toolsOpenAndProtectFromTheTerminal() {
    TempVault vault;
    fillVault(vault);
    const QStringList before = rowsOf(vault.dbPath(), databasePasswordKey());
    const QString plainExport = vault.folder() + QStringLiteral("/plain.xml");
    QString said;
    QVERIFY2(runTool("exportvault", {vault.folder(), plainExport}, Password, &said) == 0, qPrintable(said));

    const QByteArray unprotected = readFile(vault.dbPath());
    QCOMPARE(runTool("protectvault", {vault.folder(), QStringLiteral("on")}, QStringLiteral("wrong"), &said), 1);
    QVERIFY2(said.contains(WrongPassword), qPrintable(said));
    QCOMPARE(readFile(vault.dbPath()), unprotected);
    QCOMPARE(runTool("protectvault", {vault.folder(), QStringLiteral("sideways")}, Password), 2);

    QCOMPARE(runTool("protectvault", {vault.folder(), QStringLiteral("on")}, Password, &said), 0);
    QVERIFY(ProtectedVault::isProtectedFile(vault.dbPath()));
    QVERIFY(rowsOf(vault.dbPath(), databasePasswordKey()).isEmpty());

    const QString protectedExport = vault.folder() + QStringLiteral("/protected.xml");
    QCOMPARE(runTool("exportvault", {vault.folder(), protectedExport}, QStringLiteral("Brindlex")), 1);
    QCOMPARE(runTool("exportvault", {vault.folder(), protectedExport}, Password), 0);
    QCOMPARE(readFile(protectedExport), readFile(plainExport));

    QCOMPARE(runTool("protectvault", {vault.folder(), QStringLiteral("off")}, Password), 0);
    QVERIFY(!ProtectedVault::isProtectedFile(vault.dbPath()));
    QCOMPARE(rowsOf(vault.dbPath(), databasePasswordKey()), before);
}

VAULTRY_TEST_MAIN(TestProtect)
#include "tst_protect.moc"

void TestProtect::lockClosesAProtectedFileUntilItsPassword_data() {
    QTest::addColumn<bool>("protectedFile");
    QTest::newRow("protected by the master password") << true;
    QTest::newRow("under the database password") << false;
}

// While locked no key of a protected file stays in memory: the file is closed and its key forgotten;
// the password typed at unlock derives it again. A file under the program's own key stays open.
void TestProtect::lockClosesAProtectedFileUntilItsPassword() {
    QFETCH(bool, protectedFile);
    TempVault vault;
    fillVault(vault);
    if (protectedFile) {
        VaultRekey::rekey(vault.module().VaultConnection, ProtectedVault::newKeyFor(Password));
    }
    FakePlatform fake;
    Module module;
    Main window(module, fake.platform, vault.folder());
    const auto typePassword = [](frmLogin* login) {
        login->findChild<QLineEdit*>(QStringLiteral("txtPassword"))->setText(Password);
        login->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
    };
    whenModal<frmLogin>(typePassword);
    QVERIFY(window.load());

    bool openWhileLocked = true;
    bool derivedKeyWhileLocked = true;
    whenModal<frmLogin>([&](frmLogin* login) {
        openWhileLocked = module.VaultConnection.isOpen();
        derivedKeyWhileLocked = module.VaultConnection.isProtected();
        typePassword(login);
    });
    window.findChild<QAction*>(QStringLiteral("Lock"))->trigger();
    QTRY_VERIFY(window.sessionLock().isLocked());
    QTRY_VERIFY(!window.sessionLock().isLocked());
    QCOMPARE(openWhileLocked, !protectedFile);
    QVERIFY(!derivedKeyWhileLocked || !protectedFile);
    QVERIFY(module.VaultConnection.isOpen());
    QCOMPARE(module.VaultConnection.isProtected(), protectedFile);
    QCOMPARE(rowsOf(vault.dbPath(), module.VaultConnection.key()).size(), 2 + 39 + 1 + 3);
}
