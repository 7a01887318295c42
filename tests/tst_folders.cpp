// Where the program finds its vault and its skin: beside itself, or apart when installed by the package.
#include "FakePlatform.h"
#include "ModalDriver.h"
#include "TestFiles.h"
#include "app/MainWindow.h"
#include "app/frmLogin.h"
#include "support/Child.h"
#include "support/SuiteGuard.h"
#include "vault/FreshVault.h"
#include "vault/Module.h"
#include "vault/ProgramFolders.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <sys/stat.h>

namespace {

unsigned modeOf(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777u : 0u;
}

} // namespace

class TestFolders : public QObject {
    Q_OBJECT

private slots:
    void startFindsTheVaultOfItsLayout_data();
    void startFindsTheVaultOfItsLayout();
};

void TestFolders::startFindsTheVaultOfItsLayout_data() {
    QTest::addColumn<bool>("packaged");
    // What stands where DB.xml belongs: a vault, nothing, a folder, a dangling link; "blocked" puts a
    // file where the data home's folders must be made.
    QTest::addColumn<QString>("inPlace");
    QTest::addColumn<bool>("loginShown");

    QTest::newRow("beside the program, vault") << false << "vault" << true;
    QTest::newRow("beside the program, no vault: reported, none made") << false << "nothing" << false;
    QTest::newRow("package, vault in the data home") << true << "vault" << true;
    QTest::newRow("package, first start: fresh vault") << true << "nothing" << true;
    QTest::newRow("package, a folder called DB.xml") << true << "folder" << false;
    QTest::newRow("package, a dangling link") << true << "dangling link" << false;
    QTest::newRow("package, data home cannot be made") << true << "blocked" << false;
}

void TestFolders::startFindsTheVaultOfItsLayout() {
    QFETCH(bool, packaged);
    QFETCH(QString, inPlace);
    QFETCH(bool, loginShown);

    QTemporaryDir root;
    const QString home = root.filePath(QStringLiteral("home"));
    const QString dataHome = dataHomeFrom(QString(), home);
    QCOMPARE(dataHome, home + QStringLiteral("/.local/share"));
    const QString programFolder = root.filePath(packaged ? QStringLiteral("usr/bin") : QStringLiteral("portable"));
    const QString resources = packaged ? root.filePath(QStringLiteral("usr/share/vaultry")) : programFolder;
    QVERIFY(QDir().mkpath(programFolder));
    QVERIFY(QDir().mkpath(resources + QStringLiteral("/Skin")));
    const QString dataFolder = packaged ? dataHome + QStringLiteral("/vaultry") : programFolder;
    const QString vault = dataFolder + QStringLiteral("/DB.xml");

    if (inPlace == QLatin1String("vault")) {
        QVERIFY(QDir().mkpath(dataFolder));
        createFreshVault(vault);
    } else if (inPlace == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(vault));
    } else if (inPlace == QLatin1String("dangling link")) {
        QVERIFY(QDir().mkpath(dataFolder));
        QVERIFY(QFile::link(root.filePath(QStringLiteral("gone.xml")), vault));
    } else if (inPlace == QLatin1String("blocked")) {
        QVERIFY(writeFile(home, "a file where the home folder should be"));
    }
    const QByteArray before = QCryptographicHash::hash(readFile(vault), QCryptographicHash::Sha256);

    const ProgramFolders folders = programFoldersFor(programFolder, dataHome);
    QCOMPARE(folders.data, dataFolder);
    QCOMPARE(folders.resources, resources);

    FakePlatform fake;
    Module module;
    Main window(module, fake.platform, folders);
    // A poll left from an earlier row must not take this row's login.
    auto thisRow = std::make_shared<bool>(true);
    auto loginSeen = std::make_shared<bool>(false);
    whenModal<frmLogin>([thisRow, loginSeen](frmLogin* login) {
        if (*thisRow) {
            *loginSeen = true;
            child<QPushButton>(login, QStringLiteral("cmdCancel"))->click();
        }
    });
    QVERIFY(!window.load());
    *thisRow = false;
    QVERIFY(fake.programEnd.ended());

    QCOMPARE(*loginSeen, loginShown);
    if (loginShown) {
        QCOMPARE(fake.boxes.shown.size(), 0);
    } else {
        QCOMPARE(fake.boxes.shown.size(), 1);
        QCOMPARE(fake.boxes.last().title, QStringLiteral("错误-2147467259"));
        // The folder the program wanted, and what stood in its way.
        const QStringList named = inPlace == QLatin1String("blocked")
                                      ? QStringList{dataFolder, QStringLiteral("“%1”").arg(home)}
                                      : QStringList{vault};
        for (const QString& name : named) {
            QVERIFY2(fake.boxes.last().text.contains(name), qPrintable(fake.boxes.last().text));
        }
    }

    const QFileInfo file(vault);
    if (inPlace == QLatin1String("nothing") && packaged) {
        QCOMPARE(modeOf(vault), 0600u);
        QCOMPARE(modeOf(dataFolder), 0700u);
    } else if (inPlace == QLatin1String("nothing")) {
        QVERIFY(!file.exists());
    } else if (inPlace == QLatin1String("vault")) {
        QCOMPARE(QCryptographicHash::hash(readFile(vault), QCryptographicHash::Sha256), before);
    } else if (inPlace == QLatin1String("folder")) {
        QVERIFY(file.isDir());
    } else if (inPlace == QLatin1String("dangling link")) {
        QVERIFY(file.isSymLink());
        QVERIFY(!QFileInfo::exists(root.filePath(QStringLiteral("gone.xml"))));
    }
    // A program beside its vault never reaches into the user's data home.
    QCOMPARE(QFileInfo::exists(home), packaged);
}

VAULTRY_TEST_MAIN(TestFolders)
#include "tst_folders.moc"
