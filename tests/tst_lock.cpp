// Locking the main window and letting the master password in again, on temporary vaults; and the
// desktop's lock signals on a private bus.
#include "FakePlatform.h"
#include "ModalDriver.h"
#include "TempVault.h"
#include "app/FrmPass.h"
#include "app/MainWindow.h"
#include "app/SessionLock.h"
#include "app/frmAbout.h"
#include "app/frmLogin.h"
#include "controls/CategoryTree.h"
#include "controls/CheckListBox.h"
#include "controls/FlatEdit.h"
#include "controls/FlatMemo.h"
#include "platform/LockSignals.h"
#include "tree/frmType.h"
#include "vault/SecretCipher.h"

#include <QAction>
#include <QDBusConnection>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QtTest>
#include <memory>

namespace {

const QString Password = QStringLiteral("芝麻开门7");
const QString WrongPassword = QStringLiteral("输入的密码有误,请重新再试！");
const QString OtherProgramsText = QStringLiteral("别处复制的文字");
const QString Cancel = QStringLiteral("<取消>");
const QString CloseBox = QStringLiteral("<关闭>");

void storeMasterPassword(TempVault& vault, const QString& password) {
    const QString suffix = vault.scalar(QStringLiteral("SELECT Seq FROM Quorvane_Type WHERE ID=1")).toString();
    vault.exec(QStringLiteral("UPDATE Quorvane_Login SET Pass=? WHERE ID=1"),
               {EncodeSecret(password + suffix, Module::SecretKey)});
}

void addEntry(TempVault& vault, qint64 category, const QString& caption, const QString& pass) {
    vault.exec(QStringLiteral("INSERT INTO Quorvane_Pass(Type, Caption, Name, Pass, Www, Remark, Sort, Seq) "
                              "VALUES (?, ?, ?, ?, '', ?, '银行账号', 1)"),
               {category, caption, EncodeSecret(QStringLiteral("账户"), Module::SecretKey),
                EncodeSecret(pass, Module::SecretKey), EncodeSecret(QStringLiteral("备注"), Module::SecretKey)});
}

// Everything of the vault a look at the file shows: a lock must change none of it.
QString vaultRows(TempVault& vault) {
    return vault
               .scalar(QStringLiteral("SELECT group_concat(Caption, '|') FROM (SELECT Caption FROM Quorvane_Pass "
                                      "ORDER BY ID)"))
               .toString() +
           QLatin1Char('/') +
           vault
               .scalar(QStringLiteral("SELECT group_concat(Name, '|') FROM (SELECT Name FROM Quorvane_Type "
                                      "ORDER BY ID)"))
               .toString() +
           QLatin1Char('/') + vault.scalar(QStringLiteral("SELECT Pass FROM Quorvane_Login WHERE ID=1")).toString();
}

QStringList paneTexts(Main& window) {
    QStringList texts;
    for (const char* name : {"Edit_Caption", "Edit_Name", "Edit_Pass", "Edit_Www"}) {
        texts << window.findChild<FlatEdit*>(QLatin1String(name))->text();
    }
    texts << window.findChild<FlatMemo*>(QStringLiteral("Edit_Remark"))->text();
    return texts;
}

QStringList listed(Main& window) {
    QStringList captions;
    for (int i = 0; i < window.list()->itemCount(); ++i) {
        captions << window.list()->item(i)->text();
    }
    return captions;
}

QStringList visibleWindows() {
    QStringList names;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible()) {
            names << widget->objectName();
        }
    }
    names.sort();
    return names;
}

void click(QWidget& window, const char* name) {
    QTest::mouseClick(window.findChild<QPushButton*>(QLatin1String(name)), Qt::LeftButton);
}

} // namespace

class TestLock : public QObject {
    Q_OBJECT

public slots:
    void markerArrived() { m_markers++; }

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
    QTest::addColumn<QString>("during");      // what the user was doing when the lock came
    QTest::addColumn<bool>("clipboardOurs");  // our password still on the clipboard, or another's text
    QTest::addColumn<QStringList>("answers"); // what is typed into the login, in turn
    QTest::addColumn<bool>("unlocks");

    const QStringList right{Password};
    QTest::newRow("menu, right password") << "menu"
                                          << "" << true << right << true;
    QTest::newRow("Ctrl+L in the remark field") << "shortcut"
                                                << "" << true << right << true;
    QTest::newRow("screen locks, another text copied since")
        << "signal"
        << "" << false << QStringList{QStringLiteral("芝麻开门"), Password} << true;
    QTest::newRow("entry being edited") << "menu"
                                        << "edit" << true << right << true;
    QTest::newRow("new entry being composed") << "signal"
                                              << "new" << true << right << true;
    QTest::newRow("About box open") << "signal"
                                    << "about" << true << right << true;
    QTest::newRow("password dialog filled in") << "signal"
                                               << "password" << true << right << true;
    QTest::newRow("category dialog filled in") << "signal"
                                               << "category" << true << right << true;
    QTest::newRow("wrong password, then 取消") << "menu"
                                               << "" << true << QStringList{QStringLiteral("x"), Cancel} << false;
    QTest::newRow("close box") << "signal"
                               << "edit" << true << QStringList{CloseBox} << false;
}

void TestLock::lockHidesEverythingAndOnlyThePasswordBringsItBack() {
    QFETCH(QString, trigger);
    QFETCH(QString, during);
    QFETCH(bool, clipboardOurs);
    QFETCH(QStringList, answers);
    QFETCH(bool, unlocks);

    TempVault vault;
    storeMasterPassword(vault, Password);
    vault.exec(QStringLiteral("INSERT INTO Quorvane_Type(ID, PID, Name, Seq) VALUES (2, 1, '银行', 1)"));
    addEntry(vault, 2, QStringLiteral("工行"), QStringLiteral("p-工行"));
    addEntry(vault, 2, QStringLiteral("招行"), QStringLiteral("p-招行"));
    const QString rowsBefore = vaultRows(vault);

    FakePlatform fake;
    Main window(vault.module(), fake.platform, vault.folder());
    LockSignals desktop{QDBusConnection(QString()), QDBusConnection(QString())};
    window.lockOn(&desktop);
    QStringList vaultEvents;
    // The file may close only once the handler that was running when the lock came has returned: one
    // still running would go on reading or writing a vault that is gone.
    bool handlerReturned = false;
    window.sessionLock().setVaultSession(
        {[&] { vaultEvents << (handlerReturned ? QStringLiteral("close") : QStringLiteral("close in a handler")); },
         [&vaultEvents](const QString& typed) {
             vaultEvents << QStringLiteral("reopen ") + typed;
             return true;
         }});

    whenModal<frmLogin>([](frmLogin* login) {
        login->findChild<QLineEdit*>(QStringLiteral("txtPassword"))->setText(Password);
        login->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
    });
    QVERIFY(window.load());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    auto* tree = window.tree();
    QTreeWidgetItem* bank = tree->nodeByKey(2);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(bank).center());
    QTest::mouseClick(window.list()->viewport(), Qt::LeftButton, {},
                      window.list()->visualItemRect(window.list()->item(0)).center());
    QCOMPARE(paneTexts(window).first(), QStringLiteral("工行"));
    click(window, "Button_Copy2");
    QCOMPARE(fake.clipboard.text, QStringLiteral("p-工行"));
    if (!clipboardOurs) {
        fake.clipboard.copiedElsewhere(OtherProgramsText);
    }
    if (during == QLatin1String("edit") || during == QLatin1String("new")) {
        click(window, "Button_Read");
        if (during == QLatin1String("new")) {
            click(window, "Button_New");
        }
        window.findChild<FlatEdit*>(QStringLiteral("Edit_Caption"))->setText(QStringLiteral("改了一半"));
        window.findChild<FlatEdit*>(QStringLiteral("Edit_Pass"))->setText(QStringLiteral("新密码"));
    }
    const bool writable = window.entryPane().WriteMode;
    fake.boxes.shown.clear();

    // What the user sees once locked, and what the login says to each answer.
    QStringList windowsWhileLocked;
    QStringList paneWhileLocked;
    QStringList listWhileLocked;
    QString clipboardWhileLocked;
    QStringList messages;
    bool loginSeen = false;
    whenModal<frmLogin>(
        [&](frmLogin* login) {
            loginSeen = true;
            windowsWhileLocked = visibleWindows();
            paneWhileLocked = paneTexts(window);
            listWhileLocked = listed(window);
            clipboardWhileLocked = fake.clipboard.text;
            auto* field = login->findChild<QLineEdit*>(QStringLiteral("txtPassword"));
            for (const QString& answer : answers) {
                if (answer == Cancel) {
                    login->findChild<QPushButton*>(QStringLiteral("cmdCancel"))->click();
                } else if (answer == CloseBox) {
                    login->close();
                } else {
                    field->setText(answer);
                    login->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
                    messages << (login->isVisible() ? login->findChild<QLabel*>(QStringLiteral("Label1"))->text()
                                                    : QStringLiteral("admitted"));
                }
            }
        },
        10000);

    const auto lock = [&] {
        if (trigger == QLatin1String("menu")) {
            window.findChild<QAction*>(QStringLiteral("Lock"))->trigger();
        } else if (trigger == QLatin1String("shortcut")) {
            QApplication::setActiveWindow(&window);
            auto* remark = window.findChild<FlatMemo*>(QStringLiteral("Edit_Remark"));
            remark->setFocus();
            QTest::keyClick(remark, Qt::Key_L, Qt::ControlModifier);
        } else {
            emit desktop.lockRequested();
        }
    };
    // A dialog filled in but not confirmed when the screen locks: the lock comes from inside its loop.
    const auto lockInside = [&lock]<typename Dialog>(std::function<void(Dialog*)> fill) {
        whenModal<Dialog>([fill, &lock](Dialog* dialog) {
            fill(dialog);
            lock();
        });
    };
    if (during == QLatin1String("about")) {
        lockInside.operator()<frmAbout>([](frmAbout*) {});
        window.findChild<QAction*>(QStringLiteral("About"))->trigger();
    } else if (during == QLatin1String("password")) {
        lockInside.operator()<FrmPass>([](FrmPass* dialog) {
            dialog->findChild<FlatEdit*>(QStringLiteral("Edit_YMM"))->setText(Password);
            dialog->findChild<FlatEdit*>(QStringLiteral("Edit_XMM"))->setText(QStringLiteral("新的"));
            dialog->findChild<FlatEdit*>(QStringLiteral("Edit_QRM"))->setText(QStringLiteral("新的"));
        });
        window.findChild<QAction*>(QStringLiteral("Passwode"))->trigger();
    } else if (during == QLatin1String("category")) {
        lockInside.operator()<frmType>([](frmType* dialog) {
            dialog->findChild<FlatEdit*>(QStringLiteral("TypeName"))->setText(QStringLiteral("新分类"));
        });
        window.rightMenu()->findChild<QAction*>(QStringLiteral("New"))->trigger();
    } else {
        lock();
    }
    handlerReturned = true;
    QTRY_VERIFY_WITH_TIMEOUT(loginSeen, 10000);

    QCOMPARE(windowsWhileLocked, QStringList{QStringLiteral("frmLogin")});
    QCOMPARE(paneWhileLocked, QStringList(5, QString()));
    QCOMPARE(listWhileLocked, QStringList());
    QCOMPARE(clipboardWhileLocked, clipboardOurs ? QString() : OtherProgramsText);
    // A lock asks nothing and keeps nothing: the file is as it was, whatever was being typed.
    QCOMPARE(fake.boxes.texts(), QStringList());
    QCOMPARE(vaultRows(vault), rowsBefore);
    QStringList expectedEvents{QStringLiteral("close")};
    QStringList expectedMessages;
    for (const QString& answer : answers) {
        if (answer != Cancel && answer != CloseBox) {
            expectedEvents << QStringLiteral("reopen ") + answer;
            expectedMessages << (answer == Password ? QStringLiteral("admitted") : WrongPassword);
        }
    }
    QCOMPARE(vaultEvents, expectedEvents);
    QCOMPARE(messages, expectedMessages);

    if (unlocks) {
        QVERIFY(window.isVisible());
        QVERIFY(!fake.programEnd.ended());
        QCOMPARE(tree->selectedNode(), bank);
        QCOMPARE(listed(window), QStringList({QStringLiteral("工行"), QStringLiteral("招行")}));
        QCOMPARE(paneTexts(window), QStringList(5, QString()));
        // Nothing is being composed any more: there is nothing to save or cancel.
        QVERIFY(!window.findChild<QPushButton*>(QStringLiteral("Button_Save"))->isEnabled());
        QCOMPARE(window.entryPane().WriteMode, writable);
        QVERIFY(!window.sessionLock().isLocked());
    } else {
        QCOMPARE(fake.programEnd.calls, 1);
        QVERIFY(!window.isVisible());
    }
}

void TestLock::desktopSignalsOnABusRequestALock_data() {
    QTest::addColumn<QStringList>("signal"); // dbus-send's path, member and argument
    QTest::addColumn<bool>("locks");

    const QString saver = QStringLiteral("org.freedesktop.ScreenSaver.ActiveChanged");
    QTest::newRow("screen saver on") << QStringList{QStringLiteral("/org/freedesktop/ScreenSaver"), saver,
                                                    QStringLiteral("boolean:true")}
                                     << true;
    QTest::newRow("screen saver off") << QStringList{QStringLiteral("/org/freedesktop/ScreenSaver"), saver,
                                                     QStringLiteral("boolean:false")}
                                      << false;
    QTest::newRow("KDE's path") << QStringList{QStringLiteral("/ScreenSaver"), saver, QStringLiteral("boolean:true")}
                                << true;
    QTest::newRow("GNOME") << QStringList{QStringLiteral("/org/gnome/ScreenSaver"),
                                          QStringLiteral("org.gnome.ScreenSaver.ActiveChanged"),
                                          QStringLiteral("boolean:true")}
                           << true;
    QTest::newRow("going to sleep") << QStringList{QStringLiteral("/org/freedesktop/login1"),
                                                   QStringLiteral("org.freedesktop.login1.Manager.PrepareForSleep"),
                                                   QStringLiteral("boolean:true")}
                                    << true;
    QTest::newRow("waking up") << QStringList{QStringLiteral("/org/freedesktop/login1"),
                                              QStringLiteral("org.freedesktop.login1.Manager.PrepareForSleep"),
                                              QStringLiteral("boolean:false")}
                               << false;
    QTest::newRow("our session told to lock") << QStringList{QStringLiteral("/org/freedesktop/login1/session/_37"),
                                                             QStringLiteral("org.freedesktop.login1.Session.Lock")}
                                              << true;
    QTest::newRow("another session told to lock") << QStringList{QStringLiteral("/org/freedesktop/login1/session/_38"),
                                                                 QStringLiteral("org.freedesktop.login1.Session.Lock")}
                                                  << false;
}

// Sends the desktop's signals as a screen saver or logind would, on the private bus the test
// tst_lock_bus starts (never on the user's own bus: a real screen saver signal would lock every
// program listening). The private bus stands for the system bus as well.
void TestLock::desktopSignalsOnABusRequestALock() {
    QFETCH(QStringList, signal);
    QFETCH(bool, locks);
    if (qEnvironmentVariableIsEmpty("VAULTRY_PRIVATE_BUS")) {
        QSKIP("needs a private session bus: ctest -R tst_lock_bus");
    }
    const QString dbusSend = QStandardPaths::findExecutable(QStringLiteral("dbus-send"));
    QVERIFY2(!dbusSend.isEmpty(), "dbus-send not found");
    QDBusConnection bus = QDBusConnection::sessionBus();
    QVERIFY(bus.isConnected());

    qputenv("XDG_SESSION_ID", "7");
    LockSignals desktop(bus, bus);
    qunsetenv("XDG_SESSION_ID");
    QSignalSpy requests(&desktop, &LockSignals::lockRequested);
    // A signal of the test's own, sent after the one under test: once it is here, so is the other.
    m_markers = 0;
    QVERIFY(bus.connect(QString(), QStringLiteral("/vaultry/test"), QStringLiteral("org.vaultry.Test"),
                        QStringLiteral("Marker"), this, SLOT(markerArrived())));

    const auto send = [&dbusSend](const QStringList& arguments) {
        return QProcess::execute(dbusSend,
                                 QStringList{QStringLiteral("--session"), QStringLiteral("--type=signal")} + arguments);
    };
    QCOMPARE(send(signal), 0);
    QCOMPARE(send({QStringLiteral("/vaultry/test"), QStringLiteral("org.vaultry.Test.Marker")}), 0);
    QTRY_COMPARE(m_markers, 1);
    QCOMPARE(requests.count(), locks ? 1 : 0);
    bus.disconnect(QString(), QStringLiteral("/vaultry/test"), QStringLiteral("org.vaultry.Test"),
                   QStringLiteral("Marker"), this, SLOT(markerArrived()));
}

QTEST_MAIN(TestLock)
#include "tst_lock.moc"
