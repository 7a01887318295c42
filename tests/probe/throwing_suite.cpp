// A suite whose tests throw, run by tst_vault to see that each throw fails its own test and no
// other. Not a test of its own: it fails by design.
#include "support/SuiteGuard.h"
#include "vault/VaultError.h"

#include <stdexcept>

class ThrowingSuite : public QObject {
    Q_OBJECT

private slots:
    void throws_data() {
        QTest::addColumn<int>("kind");
        QTest::newRow("vault error") << 1;
        QTest::newRow("standard exception") << 2;
        QTest::newRow("nothing thrown") << 0;
    }
    void throws() {
        QFETCH(int, kind);
        if (kind == 1) {
            throw VaultError(VaultError::EngineFailure, QStringLiteral("数据文件“/tmp/x/DB.xml”已损坏。"));
        }
        if (kind == 2) {
            throw std::out_of_range("index 7");
        }
    }
    void runsAfterwards() { QVERIFY(true); }
};

VAULTRY_TEST_MAIN(ThrowingSuite)
#include "throwing_suite.moc"
