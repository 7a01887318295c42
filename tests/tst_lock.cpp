// Locking the main window and letting the master password in again; the desktop's lock signals.
#include "FakePlatform.h"
#include "ModalDriver.h"
#include "TempVault.h"
#include "app/MainWindow.h"
#include "app/SessionLock.h"
#include "app/frmLogin.h"
#include "controls/CategoryTree.h"
#include "controls/CheckListBox.h"
#include "controls/FlatEdit.h"
#include "controls/FlatMemo.h"
#include "platform/LockSignals.h"
#include "support/Child.h"
#include "support/SuiteGuard.h"
#include "vault/SecretCipher.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QString Password = QStringLiteral("芝麻开门7");
const QString Elsewhere = QStringLiteral("别处复制的文字");

// The detail pane's five fields, then the captions listed.
QStringList shown(Main& window) {
    QStringList texts;
    for (const char* name : {"Edit_Caption", "Edit_Name", "Edit_Pass", "Edit_Www"}) {
        texts << child<FlatEdit>(&window, name)->text();
    }
    texts << child<FlatMemo>(&window, "Edit_Remark")->text();
    for (int i = 0; i < window.list()->itemCount(); ++i) {
        texts << window.list()->item(i)->text();
    }
    return texts;
}

} // namespace

class TestLock : public QObject {
    Q_OBJECT

public slots:
    void markerArrived() { ++m_markers; }

private slots:
    void lockHidesEverythingAndOnlyThePasswordBringsItBack_data();
    void lockHidesEverythingAndOnlyThePasswordBringsItBack();
    void desktopSignalsOnABusRequestALock_data();
    void desktopSignalsOnABusRequestALock();

private:
    int m_markers = 0;
};

void TestLock::lockHidesEverythingAndOnlyThePasswordBringsItBack_data() {
    QTest::addColumn<QString>("trigger");     // menu, shortcut or signal
    QTest::addColumn<QString>("dialog");      // the command whose dialog is open when the lock comes
    QTest::addColumn<QString>("editing");     // an entry being edited, or a new one composed
    QTest::addColumn<bool>("clipboardOurs");  // our password still on the clipboard, or another's text
    QTest::addColumn<QStringList>("answers"); // typed into the login in turn; "" is 取消, "x" the close box
    const auto row = [](const char* name, const char* trigger, const char* dialog, const char* editing, bool ours,
                        const QStringList& answers) {
        QTest::newRow(name) << QString(trigger) << QString(dialog) << QString(editing) << ours << answers;
    };
    const QStringList right{Password};
    row("menu", "menu", "", "", true, right);
    row("Ctrl+L in the remark field", "shortcut", "", "", true, right);
    row("screen locks, other text copied, wrong password first", "signal", "", "", false, {"芝麻开门", Password});
    row("entry being edited", "menu", "", "edit", true, right);
    row("new entry being composed", "signal", "", "new", true, right);
    row("About box open", "signal", "About", "", true, right);
    row("password dialog open", "signal", "Passwode", "", true, right);
    row("category dialog open", "signal", "New", "", true, right);
    row("wrong password, then 取消", "menu", "", "", true, {"wrong", ""});
    row("close box", "signal", "", "edit", true, {"x"});
}

void TestLock::lockHidesEverythingAndOnlyThePasswordBringsItBack() {
    QFETCH(QString, trigger);
    QFETCH(QString, dialog);
    QFETCH(QString, editing);
    QFETCH(bool, clipboardOurs);
    QFETCH(QStringList, answers);
    const bool unlocks = answers.last() == Password;

    TempVault vault;
    const QString suffix = vault.scalar(QStringLiteral("SELECT Seq FROM Quorvane_Type WHERE ID=1")).toString();
    vault.exec(QStringLiteral("UPDATE Quorvane_Login SET Pass=? WHERE ID=1"),
               {EncodeSecret(Password + suffix, Module::SecretKey)});
    const qint64 bank = vault.addCategory(QStringLiteral("银行"));
    vault.addEntry({.type = bank,
                    .caption = QStringLiteral("工行"),
                    .pass = QStringLiteral("secret"),
                    .sort = QStringLiteral("银行账号")});
    vault.addEntry({.type = bank, .caption = QStringLiteral("招行"), .seq = 2});
    const QString fileRows = QStringLiteral("SELECT group_concat(Caption) || (SELECT group_concat(Name) FROM "
                                            "Quorvane_Type) || (SELECT hex(Pass) FROM Quorvane_Login) FROM "
                                            "Quorvane_Pass");
    const QVariant rowsBefore = vault.scalar(fileRows);

    FakePlatform fake;
    Main window(vault.module(), fake.platform, vault.folder());
    LockSignals desktop{QDBusConnection(QString()), QDBusConnection(QString())};
    window.lockOn(&desktop);
    // The file may close only once the handler the lock interrupted has returned: one still running
    // would go on with a vault that is gone.
    QStringList vaultEvents;
    bool handlerReturned = false;
    window.sessionLock().setVaultSession(
        {[&] { vaultEvents << (handlerReturned ? QStringLiteral("close") : QStringLiteral("close in a handler")); },
         [&](const QString& typed) {
             vaultEvents << QStringLiteral("reopen ") + typed;
             return true;
         }});
    whenModal<frmLogin>([](frmLogin* login) {
        child<QLineEdit>(login, "txtPassword")->setText(Password);
        child<QPushButton>(login, "cmdOK")->click();
    });
    QVERIFY(window.load());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    CategoryTree* tree = window.tree();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(tree->nodeByKey(2)).center());
    QTest::mouseClick(window.list()->viewport(), Qt::LeftButton, {},
                      window.list()->visualItemRect(window.list()->item(0)).center());
    QTest::mouseClick(child<QPushButton>(&window, "Button_Copy2"), Qt::LeftButton);
    QCOMPARE(fake.clipboard.text, QStringLiteral("secret"));
    if (!clipboardOurs) {
        fake.clipboard.copiedElsewhere(Elsewhere);
    }
    if (!editing.isEmpty()) {
        window.entryCommands().Read();
        if (editing == QLatin1String("new")) {
            window.entryCommands().New();
        }
        child<FlatEdit>(&window, "Edit_Caption")->setText(QStringLiteral("改了一半"));
    }
    const bool writable = window.entryPane().writeMode();
    fake.boxes.shown.clear();

    QStringList whileLocked;
    whenModal<frmLogin>(
        [&](frmLogin* login) {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                whileLocked << (widget->isVisible() ? widget->objectName() : QString());
            }
            whileLocked.removeAll(QString());
            whileLocked << shown(window) << fake.clipboard.text;
            for (const QString& answer : answers) {
                if (answer.isEmpty()) {
                    child<QPushButton>(login, "cmdCancel")->click();
                    break;
                }
                if (answer == QLatin1String("x")) {
                    login->close();
                    break;
                }
                child<QLineEdit>(login, "txtPassword")->setText(answer);
                child<QPushButton>(login, "cmdOK")->click();
                vaultEvents << (login->isVisible() ? child<QLabel>(login, "Label1")->text()
                                                   : QStringLiteral("admitted"));
            }
        },
        10000);
    const auto lock = [&] {
        if (trigger == QLatin1String("menu")) {
            child<QAction>(&window, "Lock")->trigger();
        } else if (trigger == QLatin1String("shortcut")) {
            QApplication::setActiveWindow(&window);
            child<FlatMemo>(&window, "Edit_Remark")->setFocus();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_L, Qt::ControlModifier);
        } else {
            emit desktop.lockRequested();
        }
    };
    if (dialog.isEmpty()) {
        lock();
    } else {
        whenModal<QDialog>([&lock](QDialog*) { lock(); });
        child<QAction>(&window, qPrintable(dialog))->trigger();
    }
    handlerReturned = true;
    QTRY_VERIFY_WITH_TIMEOUT(!whileLocked.isEmpty(), 10000);

    const QStringList empty(5, QString());
    QCOMPARE(whileLocked, QStringList{"frmLogin"} + empty + QStringList{clipboardOurs ? QString() : Elsewhere});
    QCOMPARE(fake.boxes.texts(), QStringList());  // asks nothing ...
    QCOMPARE(vault.scalar(fileRows), rowsBefore); // ... and keeps nothing
    QStringList expected{QStringLiteral("close")};
    for (const QString& answer : answers) {
        if (answer.size() > 1) {
            expected << QStringLiteral("reopen ") + answer
                     << (answer == Password ? QStringLiteral("admitted")
                                            : QStringLiteral("输入的密码有误,请重新再试！"));
        }
    }
    QCOMPARE(vaultEvents, expected);
    QCOMPARE(window.isVisible(), unlocks);
    QCOMPARE(fake.programEnd.calls, unlocks ? 0 : 1);
    if (unlocks) {
        QCOMPARE(tree->selectedNode(), tree->nodeByKey(2));
        QCOMPARE(shown(window), empty + QStringList({QStringLiteral("工行"), QStringLiteral("招行")}));
        QVERIFY(!child<QPushButton>(&window, "Button_Save")->isEnabled()); // nothing composed any more
        QCOMPARE(window.entryPane().writeMode(), writable);
    }
}

void TestLock::desktopSignalsOnABusRequestALock_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("member");
    QTest::addColumn<QString>("argument");
    QTest::addColumn<int>("locks");
    const QString saver = QStringLiteral("org.freedesktop.ScreenSaver.ActiveChanged");
    const QString sleep = QStringLiteral("org.freedesktop.login1.Manager.PrepareForSleep");
    const QString lock = QStringLiteral("org.freedesktop.login1.Session.Lock");
    QTest::newRow("screen saver on") << "/org/freedesktop/ScreenSaver" << saver << "boolean:true" << 1;
    QTest::newRow("screen saver off") << "/org/freedesktop/ScreenSaver" << saver << "boolean:false" << 0;
    QTest::newRow("KDE's path") << "/ScreenSaver" << saver << "boolean:true" << 1;
    QTest::newRow("GNOME") << "/org/gnome/ScreenSaver"
                           << "org.gnome.ScreenSaver.ActiveChanged"
                           << "boolean:true" << 1;
    QTest::newRow("going to sleep") << "/org/freedesktop/login1" << sleep << "boolean:true" << 1;
    QTest::newRow("waking up") << "/org/freedesktop/login1" << sleep << "boolean:false" << 0;
    QTest::newRow("our session told to lock") << "/org/freedesktop/login1/session/_37" << lock << "" << 1;
    QTest::newRow("another session told to lock") << "/org/freedesktop/login1/session/_38" << lock << "" << 0;
}

// The real signals, as a screen saver or logind sends them, on the private bus tst_lock_bus starts,
// never on the user's own (every program listening there would lock). It stands for the system bus too.
void TestLock::desktopSignalsOnABusRequestALock() {
    QFETCH(QString, path);
    QFETCH(QString, member);
    QFETCH(QString, argument);
    QFETCH(int, locks);
    if (qEnvironmentVariableIsEmpty("VAULTRY_PRIVATE_BUS")) {
        QSKIP("needs a private session bus: ctest -R tst_lock_bus");
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    qputenv("XDG_SESSION_ID", "7");
    LockSignals desktop(bus, bus);
    QSignalSpy requests(&desktop, &LockSignals::lockRequested);
    // Sent after the signal under test: once it is here, so is the other.
    m_markers = 0;
    QVERIFY(bus.connect(QString(), "/test", "org.vaultry.Test", "Marker", this, SLOT(markerArrived())));
    const QString send = QStringLiteral("dbus-send --session --type=signal %1 %2 %3");
    QCOMPARE(QProcess::execute(QStringLiteral("sh"), {"-c", send.arg(path, member, argument)}), 0);
    QCOMPARE(QProcess::execute(QStringLiteral("sh"), {"-c", send.arg("/test", "org.vaultry.Test.Marker", "")}), 0);
    QTRY_COMPARE(m_markers, 1);
    QCOMPARE(requests.count(), locks);
    bus.disconnect(QString(), "/test", "org.vaultry.Test", "Marker", this, SLOT(markerArrived()));
}

VAULTRY_TEST_MAIN(TestLock)
#include "tst_lock.moc"
