// The login dialog and the master password dialog, on temporary vaults.
#include "Child.h"
#include "FakePlatform.h"
#include "SuiteGuard.h"
#include "TempVault.h"
#include "app/FrmPass.h"
#include "app/MainWindow.h"
#include "app/frmLogin.h"
#include "controls/FlatEdit.h"
#include "controls/SkinEngine.h"
#include "vault/SecretCipher.h"
#include "vault/Statements.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace {

const QString WrongPassword = QStringLiteral("输入的密码有误,请重新再试！");

// Stores a master password the way the password dialog does, under the root's current Seq.
void storeMasterPassword(TempVault& vault, const QString& password) {
    const QString suffix = vault.scalar(QStringLiteral("SELECT Seq FROM Quorvane_Type WHERE ID=1")).toString();
    vault.exec(QStringLiteral("UPDATE Quorvane_Login SET Pass=? WHERE ID=1"),
               {EncodeSecret(password + suffix, Module::SecretKey)});
}

struct LoginAttempt {
    bool accepted;
    QString message;
    QString passwordLeft;
};

LoginAttempt tryLogin(TempVault& vault, FakePlatform& fake, const QString& password,
                      const QString& userName = QStringLiteral("admin")) {
    frmLogin login(vault.module(), fake.platform, vault.folder());
    child<QLineEdit>(login, QStringLiteral("txtUserName"))->setText(userName);
    auto* field = child<QLineEdit>(login, QStringLiteral("txtPassword"));
    field->setText(password);
    child<QPushButton>(login, QStringLiteral("cmdOK"))->click();
    return {login.result() == QDialog::Accepted, child<QLabel>(login, QStringLiteral("Label1"))->text(), field->text()};
}

// OK as the user presses it: through the button, with the error handling it is connected with.
void pressOk(FrmPass& dialog) {
    child<QPushButton>(dialog, QStringLiteral("Button_OK"))->click();
}

void fill(FrmPass& dialog, const QString& oldPassword, const QString& newPassword, const QString& confirmation) {
    child<FlatEdit>(dialog, QStringLiteral("Edit_YMM"))->setText(oldPassword);
    child<FlatEdit>(dialog, QStringLiteral("Edit_XMM"))->setText(newPassword);
    child<FlatEdit>(dialog, QStringLiteral("Edit_QRM"))->setText(confirmation);
}

} // namespace

class TestLogin : public QObject {
    Q_OBJECT

private slots:
    void freshVaultAdmitsOnlyTheEmptyPassword();
    void vaultWithoutPasswordButWithEntriesAdmitsNobody();
    void storedPasswordIsComparedExactly();
    void rootSeqIsReadOnLoad();
    void wrongPasswordEmptiesAndFocusesTheField();
    void escapeAndCloseBoxEndTheProgram();

    void firstRunModeStoresThePasswordUnderANewRootSeq();
    void refusalsComeInTheirOrder();
    void changeModeKeepsRootSeqAndReplacesThePassword();
    void storedFormsWithQuoteOrNulWorkAtTheNextLogin_data();
    void storedFormsWithQuoteOrNulWorkAtTheNextLogin();
    void closeBoxAndEscapeAreRefused_data();
    void closeBoxAndEscapeAreRefused();
    void failedPasswordWriteIsReportedAndTheDialogStays();
    void everyPasswordFieldMasksWithAsterisk();
    void beyondSixteenBits_data();
    void beyondSixteenBits();
};

void TestLogin::freshVaultAdmitsOnlyTheEmptyPassword() {
    TempVault vault;
    FakePlatform fake;

    const LoginAttempt wrong = tryLogin(vault, fake, QStringLiteral("guess"));
    QVERIFY(!wrong.accepted);
    QCOMPARE(wrong.message, WrongPassword);
    QCOMPARE(wrong.passwordLeft, QString());
    QVERIFY(!vault.module().MustSetPassword);

    // The user name box has no say.
    const LoginAttempt empty = tryLogin(vault, fake, QString(), QStringLiteral("somebody else"));
    QVERIFY(empty.accepted);
    QVERIFY(vault.module().MustSetPassword);
    QVERIFY(fake.boxes.shown.isEmpty());
    QVERIFY(!fake.programEnd.ended());
}

void TestLogin::vaultWithoutPasswordButWithEntriesAdmitsNobody() {
    TempVault vault;
    vault.addEntry({.caption = QStringLiteral("x"), .sort = QStringLiteral("普通账号")});
    FakePlatform fake;
    for (const QString& attempt : {QString(), QStringLiteral("anything")}) {
        const LoginAttempt result = tryLogin(vault, fake, attempt);
        QVERIFY(!result.accepted);
        QCOMPARE(result.message, WrongPassword);
        QCOMPARE(result.passwordLeft, attempt); // neither emptied nor refocused
    }
    QVERIFY(!vault.module().MustSetPassword);
}

void TestLogin::storedPasswordIsComparedExactly() {
    TempVault vault;
    vault.exec(QStringLiteral("UPDATE Quorvane_Type SET Seq=4711 WHERE ID=1"));
    storeMasterPassword(vault, QStringLiteral("Ab€c密码"));
    FakePlatform fake;

    QVERIFY(!tryLogin(vault, fake, QStringLiteral("ab€c密码")).accepted);
    QVERIFY(!tryLogin(vault, fake, QStringLiteral("Ab€c密码4711")).accepted);
    QVERIFY(!tryLogin(vault, fake, QString()).accepted);
    QVERIFY(tryLogin(vault, fake, QStringLiteral("Ab€c密码")).accepted);
    QVERIFY(!vault.module().MustSetPassword);
}

void TestLogin::rootSeqIsReadOnLoad() {
    TempVault vault;
    vault.exec(QStringLiteral("UPDATE Quorvane_Type SET Seq=9876 WHERE ID=1"));
    FakePlatform fake;
    frmLogin login(vault.module(), fake.platform, vault.folder());
    QCOMPARE(vault.module().RootSeq, qint16(9876));
    QCOMPARE(login.windowTitle(), QStringLiteral("登录"));
    QCOMPARE(login.size(), QSize(250, 112));
}

// After a wrong password the field is emptied and has the focus, ready for the next attempt.
void TestLogin::wrongPasswordEmptiesAndFocusesTheField() {
    TempVault vault;
    storeMasterPassword(vault, QStringLiteral("right"));
    FakePlatform fake;
    frmLogin login(vault.module(), fake.platform, vault.folder());
    login.show();
    QVERIFY(QTest::qWaitForWindowExposed(&login));
    auto* password = child<QLineEdit>(login, QStringLiteral("txtPassword"));
    auto* ok = child<QPushButton>(login, QStringLiteral("cmdOK"));
    password->setText(QStringLiteral("wrong"));
    ok->setFocus();
    QTest::mouseClick(ok, Qt::LeftButton);
    QCOMPARE(child<QLabel>(login, QStringLiteral("Label1"))->text(), WrongPassword);
    QCOMPARE(password->text(), QString());
    QCOMPARE(login.focusWidget(), password);
    QVERIFY(login.isVisible());
}

void TestLogin::escapeAndCloseBoxEndTheProgram() {
    TempVault vault;
    {
        FakePlatform fake;
        frmLogin login(vault.module(), fake.platform, vault.folder());
        login.show();
        QTest::keyClick(&login, Qt::Key_Escape);
        QVERIFY(fake.programEnd.ended());
    }
    {
        FakePlatform fake;
        frmLogin login(vault.module(), fake.platform, vault.folder());
        login.show();
        login.close();
        QVERIFY(fake.programEnd.ended());
    }
    {
        // Enter acts as OK.
        FakePlatform fake;
        frmLogin login(vault.module(), fake.platform, vault.folder());
        login.show();
        QTest::keyClick(child<QLineEdit>(login, QStringLiteral("txtPassword")), Qt::Key_Return);
        QCOMPARE(login.result(), int(QDialog::Accepted));
        QVERIFY(!fake.programEnd.ended());
    }
}

void TestLogin::firstRunModeStoresThePasswordUnderANewRootSeq() {
    TempVault vault;
    vault.exec(QStringLiteral("UPDATE Quorvane_Type SET Seq=-5 WHERE ID=1"));
    FakePlatform fake;
    Module& module = vault.module();
    module.MustSetPassword = true;

    FrmPass dialog(module, fake.platform, vault.folder());
    QVERIFY(dialog.isFirstRun());
    QVERIFY(!child<FlatEdit>(dialog, QStringLiteral("Edit_YMM"))->isEnabled());
    QCOMPARE(child<FlatEdit>(dialog, QStringLiteral("Edit_YMM"))->backColor(), QColor(224, 224, 224));
    QVERIFY(!child<QPushButton>(dialog, QStringLiteral("Button_Cancel"))->isEnabled());
    QCOMPARE(child<QGroupBox>(dialog, QStringLiteral("GroupBox1"))->title(), QStringLiteral("第一次必须设置密码"));
    QVERIFY(module.RootSeq >= 0 && module.RootSeq <= 10000);
    QCOMPARE(vault.scalar(QStringLiteral("SELECT Seq FROM Quorvane_Type WHERE ID=1")).toInt(), int(module.RootSeq));

    fill(dialog, QString(), QStringLiteral("新的"), QStringLiteral("新的"));
    pressOk(dialog);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(fake.boxes.shown.isEmpty());
    QVERIFY(!module.MustSetPassword);

    // A later opening in the same run is a change: the root's number stays.
    const qint16 rootSeq = module.RootSeq;
    FrmPass again(module, fake.platform, vault.folder());
    QVERIFY(!again.isFirstRun());
    QCOMPARE(module.RootSeq, rootSeq);
    QCOMPARE(vault.scalar(QStringLiteral("SELECT Seq FROM Quorvane_Type WHERE ID=1")).toInt(), int(rootSeq));

    FakePlatform next;
    QVERIFY(tryLogin(vault, next, QStringLiteral("新的")).accepted);
}

void TestLogin::refusalsComeInTheirOrder() {
    TempVault vault;
    storeMasterPassword(vault, QStringLiteral("old"));
    FakePlatform fake;
    FrmPass dialog(vault.module(), fake.platform, vault.folder());
    QVERIFY(!dialog.isFirstRun());

    fill(dialog, QStringLiteral("wrong"), QString(), QStringLiteral("x"));
    pressOk(dialog);
    fill(dialog, QStringLiteral("old"), QString(), QString());
    pressOk(dialog);
    fill(dialog, QStringLiteral("old"), QStringLiteral("new"), QStringLiteral("New"));
    pressOk(dialog);

    QCOMPARE(fake.boxes.texts(), QStringList({QStringLiteral("原密码不正确！"), QStringLiteral("新密码不能为空！"),
                                              QStringLiteral("两次新密码不一致！")}));
    for (const RecordedBox& box : fake.boxes.shown) {
        QCOMPARE(box.title, QStringLiteral("提示！"));
        QCOMPARE(box.icon, BoxIcon::Exclamation);
    }
    QVERIFY(dialog.result() != QDialog::Accepted);
    FakePlatform next;
    QVERIFY(tryLogin(vault, next, QStringLiteral("old")).accepted);
}

void TestLogin::changeModeKeepsRootSeqAndReplacesThePassword() {
    TempVault vault;
    vault.exec(QStringLiteral("UPDATE Quorvane_Type SET Seq=321 WHERE ID=1"));
    storeMasterPassword(vault, QStringLiteral("old"));
    FakePlatform fake;
    FrmPass dialog(vault.module(), fake.platform, vault.folder());
    QCOMPARE(vault.module().RootSeq, qint16(321));
    QCOMPARE(dialog.storedPass(), QStringLiteral("old321"));
    fill(dialog, QStringLiteral("old"), QStringLiteral("new"), QStringLiteral("new"));
    pressOk(dialog);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(vault.scalar(QStringLiteral("SELECT Seq FROM Quorvane_Type WHERE ID=1")).toInt(), 321);

    FakePlatform next;
    QVERIFY(!tryLogin(vault, next, QStringLiteral("old")).accepted);
    QVERIFY(tryLogin(vault, next, QStringLiteral("new")).accepted);
}

void TestLogin::storedFormsWithQuoteOrNulWorkAtTheNextLogin_data() {
    QTest::addColumn<QString>("password");
    QTest::addColumn<QChar>("held");
    // The first character meets the key's "T": 's' ^ 'T' is a quote, 'T' ^ 'T' is U+0000.
    QTest::newRow("quote") << QStringLiteral("s3cret") << QChar(u'\'');
    QTest::newRow("NUL") << QStringLiteral("Tavern") << QChar(u'\0');
}

void TestLogin::storedFormsWithQuoteOrNulWorkAtTheNextLogin() {
    QFETCH(QString, password);
    QFETCH(QChar, held);
    TempVault vault;
    vault.exec(QStringLiteral("UPDATE Quorvane_Type SET Seq=77 WHERE ID=1"));
    storeMasterPassword(vault, QStringLiteral("old"));

    FakePlatform fake;
    FrmPass dialog(vault.module(), fake.platform, vault.folder());
    fill(dialog, QStringLiteral("old"), password, password);
    pressOk(dialog);
    QVERIFY(fake.boxes.shown.isEmpty());
    const QString stored = vault.scalar(QStringLiteral("SELECT Pass FROM Quorvane_Login WHERE ID=1")).toString();
    QVERIFY(stored.contains(held));
    QCOMPARE(stored, EncodeSecret(password + QStringLiteral("77"), Module::SecretKey));

    FakePlatform next;
    QVERIFY(tryLogin(vault, next, password).accepted);
}

void TestLogin::closeBoxAndEscapeAreRefused_data() {
    QTest::addColumn<bool>("firstRun");
    QTest::newRow("first run") << true;
    QTest::newRow("change") << false;
}

void TestLogin::closeBoxAndEscapeAreRefused() {
    QFETCH(bool, firstRun);
    TempVault vault;
    FakePlatform fake;
    vault.module().MustSetPassword = firstRun;
    FrmPass dialog(vault.module(), fake.platform, vault.folder());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.close();
    QVERIFY(dialog.isVisible());
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(dialog.isVisible());
    QCOMPARE(vault.module().MustSetPassword, firstRun);
    QVERIFY(vault.scalar(QStringLiteral("SELECT Pass FROM Quorvane_Login WHERE ID=1")).isNull());
}

// The write of the new password is trapped: the engine's failure is reported, the dialog stays open
// and the program goes on.
void TestLogin::failedPasswordWriteIsReportedAndTheDialogStays() {
    TempVault vault;
    storeMasterPassword(vault, QStringLiteral("old"));
    FakePlatform fake;
    FrmPass dialog(vault.module(), fake.platform, vault.folder());
    dialog.show();
    vault.exec(QStringLiteral("ALTER TABLE Quorvane_Login RENAME TO Gone"));
    fill(dialog, QStringLiteral("old"), QStringLiteral("new"), QStringLiteral("new"));
    pressOk(dialog);
    QCOMPARE(fake.boxes.shown.size(), 1);
    QCOMPARE(fake.boxes.last().title, QStringLiteral("错误-2147467259"));
    QCOMPARE(fake.boxes.last().icon, BoxIcon::Critical);
    QVERIFY(dialog.isVisible());
    QVERIFY(dialog.result() != QDialog::Accepted);
    QVERIFY(!fake.programEnd.ended());
}

// What the user sees, not only that the display differs from the text: "*" for each character, in
// each dialog as the program opens it over the skinned main window, and in the main window's own
// password field in both of its modes.
// Counts and lengths past a 16-bit counter neither lock the owner out nor let anybody else in.
void TestLogin::beyondSixteenBits_data() {
    QTest::addColumn<int>("entries");
    QTest::addColumn<int>("passwordLength"); // -1: no master password yet
    QTest::addColumn<int>("typedLength");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("32,768 entries, the owner") << 32768 << 8 << 8 << true;
    QTest::newRow("65,536 entries, no password yet") << 65536 << -1 << 0 << false;
    QTest::newRow("40,000 characters") << 0 << 40000 << 40000 << true;
    QTest::newRow("40,000 characters, one short") << 0 << 40000 << 39999 << false;
}

void TestLogin::beyondSixteenBits() {
    QFETCH(int, entries);
    QFETCH(int, passwordLength);
    QFETCH(int, typedLength);
    QFETCH(bool, accepted);
    TempVault vault;
    if (entries > 0) {
        vault.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                                  "INSERT INTO Quorvane_Pass (Type, Caption, Seq) SELECT 1, 'e' || i, 1 FROM n")
                       .arg(entries));
    }
    QCOMPARE(vault.count(QStringLiteral("Quorvane_Pass")), qint64(entries));
    const QString password =
        QStringLiteral("密码Ab1").repeated(passwordLength / 5 + 1).left(std::max(passwordLength, 0));
    if (passwordLength >= 0) {
        storeMasterPassword(vault, password);
    }
    FakePlatform fake;
    const LoginAttempt attempt = tryLogin(vault, fake, password.left(typedLength));
    QCOMPARE(attempt.accepted, accepted);
    QCOMPARE(attempt.message, accepted ? QString() : WrongPassword);
    QVERIFY(fake.boxes.shown.isEmpty());
}

void TestLogin::everyPasswordFieldMasksWithAsterisk() {
    TempVault vault;
    FakePlatform fake;
    Main owner(vault.module(), fake.platform, vault.folder());
    SkinEngine skin;
    QVERIFY(
        skin.loadSkin(vault.folder() + QStringLiteral("/Skin/Office2010.cjstyles"), QStringLiteral("NormalBlue.ini")));
    skin.applyTo(&owner);
    QStringList unmasked;
    const auto check = [&unmasked](QLineEdit* field, const QString& where) {
        field->setText(QStringLiteral("abc"));
        field->ensurePolished();
        if (field->displayText() != QStringLiteral("***")) {
            unmasked << where + QLatin1Char(' ') + field->objectName() + QLatin1Char(' ') + field->displayText();
        }
    };

    frmLogin login(vault.module(), fake.platform, vault.folder(), &owner);
    login.show();
    check(child<QLineEdit>(login, QStringLiteral("txtPassword")), QStringLiteral("login"));
    for (const bool firstRun : {true, false}) {
        vault.module().MustSetPassword = firstRun;
        FrmPass dialog(vault.module(), fake.platform, vault.folder(), &owner);
        dialog.show();
        for (FlatEdit* field : dialog.findChildren<FlatEdit*>()) {
            check(field, firstRun ? QStringLiteral("first run") : QStringLiteral("change"));
        }
    }
    auto* pass = child<FlatEdit>(owner, QStringLiteral("Edit_Pass"));
    owner.show();
    check(pass, QStringLiteral("read-only"));
    owner.entryCommands().Read();
    check(pass, QStringLiteral("writable"));
    QCOMPARE(unmasked, QStringList());
}

VAULTRY_TEST_MAIN(TestLogin)
#include "tst_login.moc"
