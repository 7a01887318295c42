#include "platform/QtClipboard.h"
#include "support/SuiteGuard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTest>

using namespace std::chrono_literals;

class TestClipboard : public QObject {
    Q_OBJECT

private slots:
    // A secret leaves the clipboard when its time is up or the program ends, but a text the
    // user copied elsewhere in between is never taken away.
    void takesOnlyItsOwnSecretAway_data() {
        QTest::addColumn<QString>("copiedElsewhere");
        QTest::addColumn<bool>("programEnds");
        QTest::addColumn<QString>("left");
        QTest::newRow("time is up") << QString() << false << QString();
        QTest::newRow("time is up, other text copied")
            << QStringLiteral("其他文字") << false << QStringLiteral("其他文字");
        QTest::newRow("program ends") << QString() << true << QString();
        QTest::newRow("program ends, other text copied")
            << QStringLiteral("其他文字") << true << QStringLiteral("其他文字");
    }
    void takesOnlyItsOwnSecretAway() {
        QFETCH(QString, copiedElsewhere);
        QFETCH(bool, programEnds);
        QFETCH(QString, left);
        QClipboard* desktop = QGuiApplication::clipboard();
        QtClipboard clipboard(programEnds ? 1h : 500ms);
        clipboard.clear();
        clipboard.setSecretText(QStringLiteral("密码 pass"));
        QCOMPARE(desktop->text(), QStringLiteral("密码 pass"));
        if (!copiedElsewhere.isEmpty()) {
            desktop->setText(copiedElsewhere);
        }
        if (programEnds) {
            QVERIFY(QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit"));
        } else {
            QTest::qWait(1000);
        }
        QCOMPARE(desktop->text(), left);
    }
};

VAULTRY_TEST_MAIN(TestClipboard)
#include "tst_clipboard.moc"
