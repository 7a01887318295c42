// Writing through a result whose rows are not all read yet.
#include "support/SuiteGuard.h"
#include "support/TempVault.h"
#include "vault/Statements.h"

#include <QTest>

class TestRecordset : public QObject {
    Q_OBJECT
private slots:
    void writeLeavesTheRowsStillToComeAsOpened_data();
    void writeLeavesTheRowsStillToComeAsOpened();
};

// A row written into the part of the order not read yet must not show up there a second time and
// push the last row out of the count.
void TestRecordset::writeLeavesTheRowsStillToComeAsOpened_data() {
    QTest::addColumn<bool>("adding");
    QTest::newRow("current row moved ahead") << false;
    QTest::newRow("row added ahead") << true;
}

void TestRecordset::writeLeavesTheRowsStillToComeAsOpened() {
    QFETCH(bool, adding);
    TempVault vault;
    vault.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 700) "
                              "INSERT INTO Quorvane_Pass (Type, Caption, Seq) SELECT 7, 'e' || i, i FROM n"));
    Recordset rs;
    rs.open(Statements::entriesOfCategory(7), vault.module().VaultConnection);
    QCOMPARE(rs.recordCount(), 700);
    rs.moveNext();
    if (adding) {
        rs.addNew();
        rs.setValue(QStringLiteral("Type"), 7);
        rs.setValue(QStringLiteral("Caption"), QStringLiteral("new"));
    }
    rs.setValue(QStringLiteral("Seq"), 350);
    rs.update();
    if (adding) {
        // The new row joins the result after all the rows it was opened on.
        QCOMPARE(rs.recordCount(), 701);
        QCOMPARE(rs.text(QStringLiteral("Caption")), QStringLiteral("new"));
        return;
    }
    QStringList seen{QStringLiteral("e1"), QStringLiteral("e2")};
    for (rs.moveNext(); !rs.atEnd(); rs.moveNext()) {
        seen.append(rs.text(QStringLiteral("Caption")));
    }
    QCOMPARE(seen.size(), 700);
    QCOMPARE(seen.count(QStringLiteral("e2")), 1);
    QCOMPARE(seen.last(), QStringLiteral("e700"));
}

VAULTRY_TEST_MAIN(TestRecordset)
#include "tst_recordset.moc"
