// Start-up of the program: the load sequence, the main window's composition and its menus.
#include "Child.h"
#include "FakePlatform.h"
#include "ModalDriver.h"
#include "SuiteGuard.h"
#include "TempVault.h"
#include "TestFiles.h"
#include "app/FrmPass.h"
#include "app/MainWindow.h"
#include "app/frmLogin.h"
#include "controls/CategoryTree.h"
#include "controls/FlatEdit.h"
#include "vault/SecretCipher.h"
#include "vault/VaultLock.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLockFile>
#include <QMenuBar>
#include <QPushButton>
#include <QtTest>

#include <sqlcipher/sqlite3.h>

#include <csignal>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

void typeAndConfirmLogin(const QString& password) {
    whenModal<frmLogin>([password](frmLogin* login) {
        child<QLineEdit>(login, QStringLiteral("txtPassword"))->setText(password);
        child<QPushButton>(login, QStringLiteral("cmdOK"))->click();
    });
}

void setFirstPassword(const QString& password) {
    whenModal<FrmPass>([password](FrmPass* dialog) {
        child<FlatEdit>(dialog, QStringLiteral("Edit_XMM"))->setText(password);
        child<FlatEdit>(dialog, QStringLiteral("Edit_QRM"))->setText(password);
        child<QPushButton>(dialog, QStringLiteral("Button_OK"))->click();
    });
}

// An encrypted database of the right shape whose key is not the program's.
void writeVaultWithOtherKey(const QString& path) {
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr),
             SQLITE_OK);
    QCOMPARE(sqlite3_key(db, "Other", 5), SQLITE_OK);
    QCOMPARE(
        sqlite3_exec(db, "CREATE TABLE Quorvane_Login(ID INTEGER PRIMARY KEY, Pass TEXT)", nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(db);
}

// The lock of a program killed while it held the vault: a child process takes it and is killed.
bool lockOfAKilledProgram(const QString& lockFile) {
    int ready[2];
    if (::pipe(ready) != 0) {
        return false;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(ready[0]);
        QLockFile lock(lockFile);
        const char held = lock.tryLock(0) ? 'y' : 'n';
        [[maybe_unused]] const ssize_t told = ::write(ready[1], &held, 1);
        for (;;) {
            ::pause();
        }
    }
    ::close(ready[1]);
    char held = 'n';
    const bool told = child > 0 && ::read(ready[0], &held, 1) == 1;
    ::close(ready[0]);
    if (child > 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
    }
    return told && held == 'y' && QFileInfo::exists(lockFile);
}

} // namespace

class TestStartup : public QObject {
    Q_OBJECT

private slots:
    void brokenDataFileIsReportedAndEndsTheProgram_data();
    void brokenDataFileIsReportedAndEndsTheProgram();
    void firstRunSetsThePasswordAndTheNextStartAsksForIt();
    void cancellingTheLoginEndsTheProgram();
    void windowHasItsControlsAndMenus();
    void helpAndExit();
    void oneProgramPerVault_data();
    void oneProgramPerVault();
};

void TestStartup::brokenDataFileIsReportedAndEndsTheProgram_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing") << "missing";
    QTest::newRow("text file") << "text";
    QTest::newRow("empty file") << "empty";
    QTest::newRow("other password") << "otherkey";
}

void TestStartup::brokenDataFileIsReportedAndEndsTheProgram() {
    QFETCH(QString, kind);
    TempVault vault(false);
    if (kind == QLatin1String("text")) {
        QVERIFY(writeFile(vault.dbPath(), "<xml>not a vault</xml>\n"));
    } else if (kind == QLatin1String("empty")) {
        QVERIFY(writeFile(vault.dbPath(), {}));
    } else if (kind == QLatin1String("otherkey")) {
        writeVaultWithOtherKey(vault.dbPath());
    }
    FakePlatform fake;
    Main window(vault.module(), fake.platform, vault.folder());

    QVERIFY(!window.load());

    QCOMPARE(fake.boxes.shown.size(), 1);
    const RecordedBox box = fake.boxes.last();
    QCOMPARE(box.title, QStringLiteral("错误-2147467259"));
    QCOMPARE(box.icon, BoxIcon::Critical);
    QCOMPARE(box.buttons, BoxButtons::Ok);
    QVERIFY2(box.text.contains(vault.dbPath()), qPrintable(box.text));
    QVERIFY(fake.programEnd.ended());
    QVERIFY(!window.isVisible());
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        QVERIFY2(!widget->isVisible(), qPrintable(widget->objectName()));
    }
    // The skin is loaded only after the connection: the error box came before it.
    QVERIFY(window.styleSheet().isEmpty());
}

void TestStartup::firstRunSetsThePasswordAndTheNextStartAsksForIt() {
    TempVault vault;

    {
        FakePlatform fake;
        Module module;
        Main window(module, fake.platform, vault.folder());
        typeAndConfirmLogin(QString());
        setFirstPassword(QStringLiteral("Tiger'7"));
        QVERIFY(window.load());
        QVERIFY(fake.boxes.shown.isEmpty());
        QVERIFY(!module.MustSetPassword);
        QCOMPARE(vault.scalar(QStringLiteral("SELECT Seq FROM Quorvane_Type WHERE ID=1")).toLongLong(),
                 qint64(module.RootSeq));
        const QString stored = vault.scalar(QStringLiteral("SELECT Pass FROM Quorvane_Login WHERE ID=1")).toString();
        QCOMPARE(DecodeSecret(stored, Module::SecretKey), QStringLiteral("Tiger'7") + module.rootSeqSuffix());
        QCOMPARE(window.tree()->topLevelItemCount(), 1);
    }

    // The next start: the empty password no longer opens it, a wrong case neither, the right one does.
    FakePlatform fake;
    Module module;
    Main window(module, fake.platform, vault.folder());
    QString messageAfterEmpty;
    QString messageAfterCase;
    whenModal<frmLogin>([&](frmLogin* login) {
        auto* password = child<QLineEdit>(login, QStringLiteral("txtPassword"));
        auto* ok = child<QPushButton>(login, QStringLiteral("cmdOK"));
        auto* message = child<QLabel>(login, QStringLiteral("Label1"));
        ok->click();
        messageAfterEmpty = message->text();
        password->setText(QStringLiteral("tiger'7"));
        ok->click();
        messageAfterCase = message->text() + QLatin1Char('|') + password->text();
        password->setText(QStringLiteral("Tiger'7"));
        ok->click();
    });
    QVERIFY(window.load());
    QCOMPARE(messageAfterEmpty, QStringLiteral("输入的密码有误,请重新再试！"));
    QCOMPARE(messageAfterCase, QStringLiteral("输入的密码有误,请重新再试！|"));
    QVERIFY(!module.MustSetPassword);
    QVERIFY(!fake.programEnd.ended());
}

void TestStartup::cancellingTheLoginEndsTheProgram() {
    TempVault vault;
    FakePlatform fake;
    Module module;
    Main window(module, fake.platform, vault.folder());
    whenModal<frmLogin>([](frmLogin* login) { child<QPushButton>(login, QStringLiteral("cmdCancel"))->click(); });
    QVERIFY(!window.load());
    QVERIFY(fake.programEnd.ended());
    QVERIFY(fake.boxes.shown.isEmpty());
    QVERIFY(!window.isVisible());
}

void TestStartup::windowHasItsControlsAndMenus() {
    TempVault vault;
    FakePlatform fake;
    Main window(vault.module(), fake.platform, vault.folder());

    QCOMPARE(window.windowTitle(), QStringLiteral("Quorvane密码箱 V1.0"));
    QCOMPARE(window.centralWidget()->size(), QSize(756, 501));
    QCOMPARE(child<QWidget>(window, QStringLiteral("Button_Read"))->geometry(), QRect(3, 3, 113, 42));
    QCOMPARE(child<QWidget>(window, QStringLiteral("List"))->geometry(), QRect(223, 47, 233, 449));
    auto* pane = child<QWidget>(window, QStringLiteral("Resizer1"));
    QCOMPARE(pane->geometry(), QRect(459, 47, 294, 449));
    auto* save = child<QPushButton>(window, QStringLiteral("Button_Save"));
    QCOMPARE(save->parentWidget(), pane);
    QCOMPARE(save->geometry(), QRect(27, 371, 111, 36));
    QCOMPARE(save->text(), QStringLiteral(" 保存(&S)"));
    QCOMPARE(child<QLabel>(window, QStringLiteral("Label1"))->text(), QStringLiteral("标    题："));
    QVERIFY(child<QPushButton>(window, QStringLiteral("Button_New"))->isHidden());
    QVERIFY(child<QPushButton>(window, QStringLiteral("Button_Del"))->isHidden());
    QCOMPARE(child<FlatEdit>(window, QStringLiteral("Edit_Pass"))->passwordChar(), QStringLiteral("*"));
    QCOMPARE(child<FlatEdit>(window, QStringLiteral("Edit_Caption"))->backColor(), QColor(224, 224, 224));

    QStringList barMenus;
    for (QAction* action : window.menuBar()->actions()) {
        barMenus << action->text();
    }
    QCOMPARE(barMenus, QStringList({QStringLiteral("文件(&F)"), QStringLiteral("帮助(&H)")}));
    const auto shortcutOf = [&](const char* name) { return child<QAction>(window, name)->shortcut(); };
    QCOMPARE(shortcutOf("Passwode"), QKeySequence(QStringLiteral("Ctrl+P")));
    QCOMPARE(shortcutOf("Exit"), QKeySequence(QStringLiteral("Ctrl+E")));
    QCOMPARE(shortcutOf("Help"), QKeySequence(QStringLiteral("Ctrl+H")));
    QCOMPARE(shortcutOf("About"), QKeySequence(QStringLiteral("Ctrl+A")));
    QStringList popupItems;
    for (QAction* action : window.rightMenu()->actions()) {
        popupItems << action->text();
    }
    QCOMPARE(popupItems,
             QStringList({QStringLiteral("新建(&N)"), QStringLiteral("修改(&E)"), QStringLiteral("删除(&D)")}));
}

void TestStartup::helpAndExit() {
    TempVault vault;
    FakePlatform fake;
    Main window(vault.module(), fake.platform, vault.folder());

    child<QAction>(window, QStringLiteral("Help"))->trigger();
    QCOMPARE(fake.boxes.shown.size(), 1);
    QCOMPARE(fake.boxes.last().text, QStringLiteral("没有找到帮助文件！"));
    QCOMPARE(fake.boxes.last().title, QStringLiteral("提示！"));
    QCOMPARE(fake.boxes.last().icon, BoxIcon::Exclamation);
    QVERIFY(!fake.programEnd.ended());

    child<QAction>(window, QStringLiteral("Exit"))->trigger();
    QVERIFY(fake.programEnd.ended());
    QCOMPARE(fake.boxes.shown.size(), 1);
}

// A second start on a vault another program has open says so and ends before it reads the file;
// the lock of a killed program does not keep the owner out.
void TestStartup::oneProgramPerVault_data() {
    QTest::addColumn<QString>("holder");
    QTest::addColumn<bool>("refused");
    QTest::newRow("a running window") << "window" << true;
    QTest::newRow("a program that has run for an hour") << "old" << true;
    QTest::newRow("a killed program") << "killed" << false;
}

void TestStartup::oneProgramPerVault() {
    QFETCH(QString, holder);
    QFETCH(bool, refused);
    TempVault vault;
    const QString lockFile = VaultLock::lockFileFor(vault.dbPath());
    FakePlatform firstDesktop;
    Module firstModule;
    std::unique_ptr<Main> first;
    QLockFile otherProgram(lockFile);
    if (holder == QLatin1String("window")) {
        first = std::make_unique<Main>(firstModule, firstDesktop.platform, vault.folder());
        typeAndConfirmLogin(QString());
        setFirstPassword(QStringLiteral("pw"));
        QVERIFY(first->load());
    } else if (holder == QLatin1String("old")) {
        QVERIFY(otherProgram.tryLock(0));
        const qint64 hourAgo = QDateTime::currentSecsSinceEpoch() - 3600;
        const struct timespec times[2] = {{hourAgo, 0}, {hourAgo, 0}};
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(lockFile).constData(), times, 0), 0);
    } else {
        QVERIFY(lockOfAKilledProgram(lockFile));
    }
    const QByteArray vaultBytes = readFile(vault.dbPath());

    FakePlatform fake;
    Module module;
    Main second(module, fake.platform, vault.folder());
    if (refused) {
        // Should the login come after all, it is left at once rather than waited on for ever.
        whenModal<frmLogin>([](frmLogin* login) { child<QPushButton>(login, QStringLiteral("cmdCancel"))->click(); },
                            1000);
    } else {
        typeAndConfirmLogin(QString());
        setFirstPassword(QStringLiteral("pw"));
    }
    const bool loaded = second.load();
    if (refused) {
        QTest::qWait(1100); // the driver gives up, before a later test's dialogs come
    }

    QCOMPARE(loaded, !refused);
    QCOMPARE(second.tree()->topLevelItemCount(), refused ? 0 : 1);
    QCOMPARE(fake.programEnd.ended(), refused);
    QCOMPARE(fake.boxes.shown.size(), refused ? 1 : 0);
    if (refused) {
        const RecordedBox box = fake.boxes.last();
        QCOMPARE(box.title, QStringLiteral("提示！"));
        QCOMPARE(box.icon, BoxIcon::Information);
        QCOMPARE(box.buttons, BoxButtons::Ok);
        QVERIFY2(box.text.contains(vault.dbPath()) && box.text.endsWith(QStringLiteral("！")), qPrintable(box.text));
        QVERIFY(!module.VaultConnection.isOpen());
        QCOMPARE(readFile(vault.dbPath()), vaultBytes);
        QVERIFY(QFileInfo::exists(lockFile)); // still the other program's
    } else {
        // Now this run's, for its owner's eyes only: a third start is refused.
        struct stat status {};
        QCOMPARE(::stat(QFile::encodeName(lockFile).constData(), &status), 0);
        QCOMPARE(status.st_mode & 0777, 0600u);
        QLockFile third(lockFile);
        third.setStaleLockTime(0);
        QVERIFY(!third.tryLock(0));
        QCOMPARE(third.error(), QLockFile::LockFailedError);
    }
}

VAULTRY_TEST_MAIN(TestStartup)
#include "tst_startup.moc"
