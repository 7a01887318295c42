// Claiming and naming the files that hold secrets: nothing is ever replaced, and what is made is
// the owner's alone whatever the umask says.
#include "TestFiles.h"
#include "vault/SafeFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum class Step { Create, Rename, RenameByLink };

unsigned modeOf(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777u : 0u;
}

} // namespace

class TestSafeFile : public QObject {
    Q_OBJECT

private slots:
    void neverReplacesAFile_data();
    void neverReplacesAFile();
};

void TestSafeFile::neverReplacesAFile_data() {
    QTest::addColumn<Step>("step");
    QTest::addColumn<bool>("targetExists");
    QTest::addColumn<unsigned>("umask");
    QTest::addColumn<int>("error");

    QTest::newRow("create a new file") << Step::Create << false << 022u << 0;
    // The umask takes the owner's own write bit: only the mode set again on the open file restores it.
    QTest::newRow("create under a umask that takes the owner's write") << Step::Create << false << 0277u << 0;
    QTest::newRow("create over an existing file") << Step::Create << true << 022u << EEXIST;
    QTest::newRow("rename to a free name") << Step::Rename << false << 022u << 0;
    QTest::newRow("rename over an existing file") << Step::Rename << true << 022u << EEXIST;
    QTest::newRow("rename by link to a free name") << Step::RenameByLink << false << 022u << 0;
    QTest::newRow("rename by link over an existing file") << Step::RenameByLink << true << 022u << EEXIST;
}

void TestSafeFile::neverReplacesAFile() {
    QFETCH(Step, step);
    QFETCH(bool, targetExists);
    QFETCH(unsigned, umask);
    QFETCH(int, error);

    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString source = folder.filePath(QStringLiteral("source"));
    const QString target = folder.filePath(QStringLiteral("target"));
    QVERIFY(writeFile(source, "new"));
    if (targetExists) {
        QVERIFY(writeFile(target, "old"));
    }

    int result = 0;
    if (step == Step::Create) {
        const mode_t before = ::umask(static_cast<mode_t>(umask));
        const SafeFile::Created created = SafeFile::createExclusive(target);
        ::umask(before);
        result = created.error;
        QCOMPARE(created.fd >= 0, error == 0);
        QVERIFY(!created.modeFailed);
        if (created.fd >= 0) {
            QCOMPARE(::write(created.fd, "new", 3), ssize_t(3));
            ::close(created.fd);
            QCOMPARE(modeOf(target), 0600u);
        }
    } else {
        result =
            step == Step::Rename ? SafeFile::renameNoReplace(source, target) : SafeFile::renameByLink(source, target);
        QCOMPARE(QFile::exists(source), error != 0);
    }
    QCOMPARE(result, error);
    QCOMPARE(readFile(target), QByteArray(error == 0 ? "new" : "old"));
}

QTEST_MAIN(TestSafeFile)
#include "tst_safefile.moc"
