// The seams to the desktop in their real form: clipboard, registry, shell, process start, message
// boxes; and the error rule every window's handlers are connected with.
#include "FakePlatform.h"
#include "TestFiles.h"
#include "platform/ErrorReport.h"
#include "platform/LinuxRegistry.h"
#include "platform/RealPlatform.h"
#include "support/SuiteGuard.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <new>
#include <stdexcept>

namespace {

// An executable shell script that appends its arguments, one a line, to a log file.
void writeScript(const QString& path, const QString& log) {
    QVERIFY(writeFile(path, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> '" + log.toUtf8() + "'; done\n" +
                                "echo started >> '" + log.toUtf8() + "'\n"));
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

QStringList logLines(const QString& log) {
    return QString::fromUtf8(readFile(log)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// Sets PATH for one test and puts the old one back.
class PathGuard {
public:
    explicit PathGuard(const QString& path) : m_old(qgetenv("PATH")) { qputenv("PATH", path.toLocal8Bit()); }
    ~PathGuard() { qputenv("PATH", m_old); }
    PathGuard(const PathGuard&) = delete;
    PathGuard& operator=(const PathGuard&) = delete;

private:
    QByteArray m_old;
};

void raise(const QString& kind) {
    if (kind == u"engine") {
        throw VaultError(VaultError::EngineFailure, QStringLiteral("引擎"));
    }
    if (kind == u"no row") {
        throw VaultError(VaultError::NoCurrentRow, QStringLiteral("没有记录"));
    }
    if (kind == u"invalid argument") {
        throw std::invalid_argument("参数");
    }
    if (kind == u"out of range") {
        throw std::out_of_range("下标");
    }
    if (kind == u"out of memory") {
        throw std::bad_alloc();
    }
    if (kind == u"other") {
        throw std::runtime_error("别的");
    }
}

} // namespace

class TestPlatform : public QObject {
    Q_OBJECT
private slots:
    void errorRule_data();
    void errorRule();
    void clipboardMarksSecret();
    void registryFindsSystemInformationTool();
    void shellAndProcessesPassTextUnsplit();
    void messageBoxAnswers();
};

void TestPlatform::clipboardMarksSecret() {
    RealPlatform real;
    Clipboard& clipboard = real.platform().clipboard;
    clipboard.setSecretText(QStringLiteral("p@ss 密码"));
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    QVERIFY(data != nullptr);
    QCOMPARE(data->text(), QStringLiteral("p@ss 密码"));
    QCOMPARE(data->data(QStringLiteral("x-kde-passwordManagerHint")), QByteArrayLiteral("secret"));
    clipboard.clear();
    QCOMPARE(QGuiApplication::clipboard()->text(), QString());
    // An empty field still puts (empty) text on the clipboard.
    clipboard.setSecretText(QString());
    QVERIFY(QGuiApplication::clipboard()->mimeData()->hasText());
}

void TestPlatform::registryFindsSystemInformationTool() {
    QTemporaryDir dir;
    const QString tool = dir.filePath(QStringLiteral("hardinfo"));
    writeScript(tool, dir.filePath(QStringLiteral("log")));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("kinfocenter")), "not executable"));
    LinuxRegistry registry;
    const QString key = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO");
    {
        PathGuard path(QStringLiteral("/nonexistent:relative/bin:") + dir.path());
        QVERIFY(registry.keyExists(RegistryRoot::LocalMachine, key));
        QVERIFY(registry.keyExists(RegistryRoot::LocalMachine, key.toLower()));
        const std::optional<RegistryValue> value =
            registry.query(RegistryRoot::LocalMachine, key, QStringLiteral("PATH"));
        QVERIFY(value.has_value());
        QCOMPARE(value->type, RegistryValue::String);
        QCOMPARE(QString::fromLocal8Bit(value->data), tool);

        QVERIFY(!registry.query(RegistryRoot::CurrentUser, key, QStringLiteral("PATH")));
        QVERIFY(!registry.query(RegistryRoot::LocalMachine, key, QStringLiteral("Other")));
        QVERIFY(!registry.keyExists(RegistryRoot::LocalMachine,
                                    QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location")));
        QVERIFY(!registry.query(RegistryRoot::LocalMachine,
                                QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"),
                                QStringLiteral("MSINFO")));
    }
    {
        PathGuard path(QString{});
        QVERIFY(!registry.keyExists(RegistryRoot::LocalMachine, key));
        QVERIFY(!registry.query(RegistryRoot::LocalMachine, key, QStringLiteral("PATH")));
    }
    {
        // A relative PATH entry is the current folder in disguise: never searched.
        PathGuard path(QStringLiteral("."));
        const QString oldFolder = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        const bool found = registry.keyExists(RegistryRoot::LocalMachine, key);
        QDir::setCurrent(oldFolder);
        QVERIFY(!found);
    }
}

// The address and the program path go over as one piece each, exactly as typed.
void TestPlatform::shellAndProcessesPassTextUnsplit() {
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("log"));
    writeScript(dir.filePath(QStringLiteral("xdg-open")), log);
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("with blank")));
    const QString program = dir.filePath(QStringLiteral("with blank/tool"));
    writeScript(program, log);

    RealPlatform real;
    {
        PathGuard path(dir.path() + QStringLiteral(":/usr/bin:/bin"));
        const QString address = QStringLiteral("www.example.com/a b;echo x|$(id)");
        QVERIFY(real.platform().shell.open(address));
        QTRY_COMPARE(logLines(log), (QStringList{address, QStringLiteral("started")}));
    }
    QFile::remove(log);
    QVERIFY(real.platform().processes.startDetached(program));
    QTRY_COMPARE(logLines(log), QStringList{QStringLiteral("started")});

    QVERIFY(!real.platform().processes.startDetached(dir.filePath(QStringLiteral("missing"))));
    QVERIFY(!real.platform().processes.startDetached(QString()));
    PathGuard path(QStringLiteral("/nonexistent"));
    QVERIFY(!real.platform().shell.open(QStringLiteral("www.example.com")));
}

void TestPlatform::messageBoxAnswers() {
    RealPlatform real;
    MessageBoxes& boxes = real.platform().boxes;
    QMessageBox* seen = nullptr;
    QString seenText;
    QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
    QString seenTitle;
    // Looks at the box once it is up, then answers it with the given key or button.
    const auto answerWith = [&](std::function<void(QMessageBox*)> answer) {
        QTimer::singleShot(0, [&, answer] {
            seen = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(seen != nullptr);
            seenText = seen->text();
            seenIcon = seen->icon();
            seenTitle = seen->windowTitle();
            QCOMPARE(seen->textFormat(), Qt::PlainText);
            answer(seen);
        });
    };

    answerWith([](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); });
    QCOMPARE(boxes.show(nullptr, QStringLiteral("是否真的要保存信息？"), QStringLiteral("提示！"), BoxButtons::YesNo,
                        BoxIcon::Question),
             BoxAnswer::Yes);
    QCOMPARE(seenIcon, QMessageBox::Question);
    QCOMPARE(seenTitle, QStringLiteral("提示！"));

    answerWith([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
    QCOMPARE(boxes.show(nullptr, QStringLiteral("q"), QStringLiteral("t"), BoxButtons::YesNo, BoxIcon::Question),
             BoxAnswer::No);

    answerWith([](QMessageBox* box) {
        QCOMPARE(box->buttons().size(), 1);
        QTest::keyClick(box, Qt::Key_Return);
    });
    QCOMPARE(boxes.show(nullptr, QStringLiteral("<b>x</b>"), QString(), BoxButtons::Ok, BoxIcon::None), BoxAnswer::Ok);
    QCOMPARE(seenText, QStringLiteral("<b>x</b>"));
    QCOMPARE(seenIcon, QMessageBox::NoIcon);
    QCOMPARE(seenTitle, QGuiApplication::applicationDisplayName());
}

// A handler's kind is chosen where it is connected: a trap reports the error and hands it to the
// handler's own choice, a fatal handler reports it and ends the program. Errors that are not the
// program's own keep numbers that tell them apart from a failing data file.
void TestPlatform::errorRule_data() {
    QTest::addColumn<bool>("fatal");
    QTest::addColumn<QString>("thrown");
    QTest::addColumn<QString>("title"); // of the one box; none when empty

    QTest::newRow("trapped, runs through") << false << QString() << QString();
    QTest::newRow("trapped, engine failure") << false << QStringLiteral("engine") << QStringLiteral("错误-2147467259");
    QTest::newRow("trapped, invalid argument")
        << false << QStringLiteral("invalid argument") << QStringLiteral("错误5");
    QTest::newRow("trapped, out of range") << false << QStringLiteral("out of range") << QStringLiteral("错误9");
    QTest::newRow("trapped, out of memory") << false << QStringLiteral("out of memory") << QStringLiteral("错误7");
    QTest::newRow("trapped, any other") << false << QStringLiteral("other") << QStringLiteral("错误51");
    QTest::newRow("fatal, runs through") << true << QString() << QString();
    QTest::newRow("fatal, no current row") << true << QStringLiteral("no row") << QStringLiteral("错误3021");
}

void TestPlatform::errorRule() {
    QFETCH(bool, fatal);
    QFETCH(QString, thrown);
    QFETCH(QString, title);
    FakePlatform fake;
    QWidget window;
    auto* button = new QPushButton(&window);
    int runs = 0;
    QList<long> handedBack;
    const auto handler = [&runs, thrown] {
        ++runs;
        raise(thrown);
    };
    if (fatal) {
        connectFatal(fake.platform, &window, button, &QPushButton::clicked, handler);
    } else {
        connectTrapped(fake.platform, &window, button, &QPushButton::clicked, handler,
                       [&handedBack](const VaultError& error) { handedBack << error.number(); });
    }
    button->click();

    QCOMPARE(runs, 1);
    QCOMPARE(fake.boxes.shown.size(), title.isEmpty() ? 0 : 1);
    if (!title.isEmpty()) {
        QCOMPARE(fake.boxes.last().title, title);
        QCOMPARE(fake.boxes.last().icon, BoxIcon::Critical);
        QCOMPARE(fake.boxes.last().buttons, BoxButtons::Ok);
        QVERIFY(!fake.boxes.last().text.isEmpty());
    }
    const bool failed = !title.isEmpty();
    QCOMPARE(fake.programEnd.ended(), fatal && failed);
    if (fatal && failed) {
        QCOMPARE(fake.programEnd.lastExitCode, 1);
    }
    if (!fatal) {
        QCOMPARE(handedBack, failed ? QList<long>{title.mid(2).toLong()} : QList<long>{});
    }
}

VAULTRY_TEST_MAIN(TestPlatform)
#include "tst_platform.moc"
