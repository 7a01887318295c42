#include "app/frmAbout.h"
#include "support/Child.h"
#include "support/FakePlatform.h"
#include "support/SuiteGuard.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kInfoKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO");
const QString kLocationKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location");
constexpr RegistryRoot kHKLM = RegistryRoot::LocalMachine;

RegistryValue bytesValue(int type, const QByteArray& data) {
    return RegistryValue{type, data};
}

} // namespace

class TestAbout : public QObject {
    Q_OBJECT
private slots:
    void init();
    void captionsVersionAndIcon();
    void sysInfoLookup_data();
    void sysInfoLookup();
    void keyValueReading_data();
    void keyValueReading();
    void enterAndEscapeClose_data();
    void enterAndEscapeClose();
    void linkClickOpensAddressSilently();

private:
    std::unique_ptr<QTemporaryDir> m_folder;
};

void TestAbout::init() {
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
}

void TestAbout::captionsVersionAndIcon() {
    QVERIFY(QDir(m_folder->path()).mkpath(QStringLiteral("Icons")));
    QPixmap icon(64, 64);
    icon.fill(Qt::darkCyan);
    QVERIFY(icon.save(m_folder->filePath(QStringLiteral("Icons/vaultry.png"))));

    FakePlatform fake;
    frmAbout dialog(fake.platform, m_folder->path());
    QCOMPARE(dialog.windowTitle(), QStringLiteral("关于 Quorvane密码箱"));
    QCOMPARE(child<QLabel>(dialog, QStringLiteral("lblTitle"))->text(), QStringLiteral("Quorvane密码箱"));
    QCOMPARE(child<QLabel>(dialog, QStringLiteral("lblVersion"))->text(), QStringLiteral("版本 1.0.0"));
    QCOMPARE(dialog.size(), QSize(382, 237));
    QVERIFY(!dialog.windowIcon().isNull());
    QCOMPARE(child<QLabel>(dialog, QStringLiteral("picIcon"))->pixmap().size(), QSize(64, 64));
}

// Each row sets up the registry (and the tool's folder) and says what is started and whether the
// "not available" message follows. The button itself is clicked, so the wiring is covered too.
void TestAbout::sysInfoLookup_data() {
    QTest::addColumn<QString>("path");          // PATH of the MSINFO key; "-" for none
    QTest::addColumn<int>("pathType");          // its registry type
    QTest::addColumn<bool>("location");         // the Shared Tools Location value names our folder
    QTest::addColumn<bool>("toolInFolder");     // MSINFO32.EXE lies in that folder
    QTest::addColumn<bool>("startSucceeds");    // what the process starter answers
    QTest::addColumn<QString>("expectStarted"); // "-" for nothing; "@" for the tool in our folder
    QTest::addColumn<bool>("expectMessage");

    const int str = RegistryValue::String;
    QTest::newRow("neither value") << "-" << str << false << false << true << "-" << true;
    QTest::newRow("folder without the tool") << "-" << str << true << false << true << "-" << true;
    QTest::newRow("folder with the tool") << "-" << str << true << true << true << "@" << false;
    QTest::newRow("PATH started unchecked")
        << "/opt/info/tool" << str << false << false << true << "/opt/info/tool" << false;
    QTest::newRow("PATH before folder") << "/opt/info/tool" << str << true << true << true << "/opt/info/tool" << false;
    QTest::newRow("PATH start fails") << "/no/such/tool" << str << false << false << false << "/no/such/tool" << true;
    // A value of another type counts as found but leaves the path empty, which cannot start.
    QTest::newRow("PATH binary") << "/opt/info/tool" << int(RegistryValue::Binary) << false << false << false << ""
                                 << true;
    QTest::newRow("PATH fills the buffer")
        << QString(1023, QLatin1Char('a')) << str << false << false << true << QString(1023, QLatin1Char('a')) << false;
    QTest::newRow("PATH too long, folder used")
        << QString(1024, QLatin1Char('a')) << str << true << true << true << "@" << false;
    QTest::newRow("PATH too long, nothing else")
        << QString(1024, QLatin1Char('a')) << str << false << false << true << "-" << true;
}

void TestAbout::sysInfoLookup() {
    QFETCH(QString, path);
    QFETCH(int, pathType);
    QFETCH(bool, location);
    QFETCH(bool, toolInFolder);
    QFETCH(bool, startSucceeds);
    QFETCH(QString, expectStarted);
    QFETCH(bool, expectMessage);

    FakePlatform fake;
    fake.registry.addKey(kHKLM, kInfoKey); // the key alone is not a value
    if (path != QLatin1String("-")) {
        fake.registry.setValue(kHKLM, kInfoKey, QStringLiteral("PATH"), bytesValue(pathType, path.toLocal8Bit()));
    }
    const QString toolFolder = m_folder->filePath(QStringLiteral("msinfo"));
    QVERIFY(QDir().mkpath(toolFolder));
    // A folder of that name must not pass for the tool.
    QVERIFY(QDir(toolFolder).mkpath(toolInFolder ? QStringLiteral("other") : QStringLiteral("MSINFO32.EXE")));
    if (toolInFolder) {
        QFile tool(toolFolder + QStringLiteral("/MSINFO32.EXE"));
        QVERIFY(tool.open(QIODevice::WriteOnly));
    }
    if (location) {
        fake.registry.setString(kHKLM, kLocationKey, QStringLiteral("MSINFO"), toolFolder);
    }
    fake.processes.result = startSucceeds;

    frmAbout dialog(fake.platform, m_folder->path());
    dialog.show();
    QTest::mouseClick(child<QPushButton>(dialog, QStringLiteral("cmdSysInfo")), Qt::LeftButton);

    QStringList expected;
    if (expectStarted == QLatin1String("@")) {
        expected << toolFolder + QStringLiteral("/MSINFO32.EXE");
    } else if (expectStarted != QLatin1String("-")) {
        expected << expectStarted;
    }
    QCOMPARE(fake.processes.started, expected);
    QCOMPARE(fake.boxes.shown.size(), expectMessage ? 1 : 0);
    if (expectMessage) {
        const RecordedBox box = fake.boxes.last();
        QCOMPARE(box.text, QStringLiteral("此时系统信息不可用"));
        QCOMPARE(box.title, QString());
        QCOMPARE(box.buttons, BoxButtons::Ok);
        QCOMPARE(box.icon, BoxIcon::None);
    }
    QVERIFY(dialog.isVisible());
}

void TestAbout::keyValueReading_data() {
    QTest::addColumn<bool>("keyExists");
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("data"); // empty with type 0: no value
    QTest::addColumn<bool>("expectRead");
    QTest::addColumn<QString>("expectText"); // the caller passes "before"

    const int str = RegistryValue::String;
    const int dword = RegistryValue::DWord;
    QTest::newRow("no key") << false << 0 << QByteArray() << false << "";
    QTest::newRow("no value") << true << 0 << QByteArray() << false << "";
    QTest::newRow("string") << true << str << QByteArray("C:\\Tools") << true << "C:\\Tools";
    QTest::newRow("string with its NUL") << true << str << QByteArray("abc\0", 4) << true << "abc";
    QTest::newRow("string with its NUL fills the buffer")
        << true << str << QByteArray(1023, 'x').append('\0') << true << QString(1023, QLatin1Char('x'));
    QTest::newRow("non-ASCII string") << true << str << QStringLiteral("系统信息").toLocal8Bit() << true
                                      << QStringLiteral("系统信息");
    QTest::newRow("dword 256") << true << dword << QByteArray("\x00\x01\x00\x00", 4) << true << "256";
    QTest::newRow("dword max") << true << dword << QByteArray("\xff\xff\xff\xff", 4) << true << "4294967295";
    QTest::newRow("binary keeps text") << true << int(RegistryValue::Binary) << QByteArray("\x01\x02", 2) << true
                                       << "before";
    QTest::newRow("binary of 1024 bytes")
        << true << int(RegistryValue::Binary) << QByteArray(1024, 'b') << true << "before";
    QTest::newRow("binary of 1025 bytes") << true << int(RegistryValue::Binary) << QByteArray(1025, 'b') << false << "";
}

void TestAbout::keyValueReading() {
    QFETCH(bool, keyExists);
    QFETCH(int, type);
    QFETCH(QByteArray, data);
    QFETCH(bool, expectRead);
    QFETCH(QString, expectText);

    FakePlatform fake;
    const QString key = QStringLiteral("SOFTWARE\\Vaultry\\Test");
    if (keyExists) {
        fake.registry.addKey(kHKLM, key);
    }
    if (type != 0) {
        fake.registry.setValue(kHKLM, key, QStringLiteral("Value"), bytesValue(type, data));
    }
    frmAbout dialog(fake.platform, m_folder->path());
    QString text = QStringLiteral("before");
    QCOMPARE(dialog.GetKeyValue(kHKLM, key, QStringLiteral("Value"), text), expectRead);
    QCOMPARE(text, expectText);
}

void TestAbout::enterAndEscapeClose_data() {
    QTest::addColumn<int>("key");
    QTest::newRow("Enter") << int(Qt::Key_Return);
    QTest::newRow("Esc") << int(Qt::Key_Escape);
}

void TestAbout::enterAndEscapeClose() {
    QFETCH(int, key);
    FakePlatform fake;
    frmAbout dialog(fake.platform, m_folder->path());
    dialog.show();
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QWidget* focus = QApplication::focusWidget();
    QVERIFY(focus);
    QCOMPARE(focus->objectName(), QStringLiteral("cmdOK"));
    QTest::keyClick(focus, static_cast<Qt::Key>(key));
    QVERIFY(!dialog.isVisible());
    QVERIFY(fake.processes.started.isEmpty());
}

void TestAbout::linkClickOpensAddressSilently() {
    FakePlatform fake;
    fake.shell.result = false; // a refused address stays silent
    frmAbout dialog(fake.platform, m_folder->path());
    dialog.show();
    auto* link = child<QLabel>(dialog, QStringLiteral("Label1"));
    QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseClick(link, Qt::LeftButton);
    QCOMPARE(fake.shell.opened, QStringList{frmAbout::webAddress()});
    QVERIFY(fake.boxes.shown.isEmpty());
    QVERIFY(dialog.isVisible());
}

VAULTRY_TEST_MAIN(TestAbout)
#include "tst_about.moc"
