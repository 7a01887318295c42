#include "app/MainWindow.h"
#include "controls/CategoryTree.h"
#include "support/FakePlatform.h"
#include "support/SuiteGuard.h"
#include "support/TempVault.h"
#include "tree/CategoryTreeBuilder.h"

#include <QAction>
#include <QDir>
#include <QImage>
#include <QMenu>
#include <QTimer>
#include <QtTest>

namespace {

struct Row {
    qint64 id;
    qint64 pid;
    QVariant name;
    int seq;
};

void addRows(TempVault& vault, const QList<Row>& rows) {
    for (const Row& row : rows) {
        vault.addCategory(row.name, row.pid, row.seq, row.id);
    }
}

// The tree as an indented outline, one node a line: "key text", a "+" for an expanded node.
void outlineOf(const QTreeWidgetItem* node, int depth, QStringList& lines) {
    lines << QString(depth * 2, u' ') + QString::number(CategoryTree::nodeKey(node)) + u' ' + node->text(0) +
                 (node->isExpanded() ? QStringLiteral(" +") : QString());
    for (int i = 0; i < node->childCount(); ++i) {
        outlineOf(node->child(i), depth + 1, lines);
    }
}

QStringList outline(const CategoryTree& tree) {
    QStringList lines;
    for (int i = 0; i < tree.topLevelItemCount(); ++i) {
        outlineOf(tree.topLevelItem(i), 0, lines);
    }
    return lines;
}

void writeIcon(const QString& file, QColor color) {
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(color);
    QVERIFY(image.save(file, "ICO"));
}

} // namespace

class TestTree : public QObject {
    Q_OBJECT
private slots:
    void onlyTheRoot();
    void threeLevelsInSeqThenIdOrder();
    void rowsOutsideTheTree_data();
    void rowsOutsideTheTree();
    void keysBeyondSixteenBits();
    void rebuildStartsAfresh();
    void iconsComeFromTheProgramFolderOnEveryBuild();
    void rightButtonOpensTheMenuAtThePointer();
};

void TestTree::onlyTheRoot() {
    TempVault vault;
    vault.exec(QStringLiteral("UPDATE Quorvane_Type SET Name = '别的名字' WHERE ID = 1"));
    CategoryTree tree;
    CategoryTreeBuilder builder(vault.module(), tree, vault.folder());
    builder.GJTree();
    QCOMPARE(outline(tree), QStringList{QStringLiteral("1 全部分类 +")});
    QCOMPARE(tree.selectedNode(), nullptr);
}

void TestTree::threeLevelsInSeqThenIdOrder() {
    TempVault vault;
    // Inserted out of key order, with ties in Seq at every level.
    addRows(vault, {{20, 1, QStringLiteral("乙"), 1},
                    {5, 1, QStringLiteral("丙"), 2},
                    {10, 1, QStringLiteral("甲"), 1},
                    {31, 11, QStringLiteral("甲二b"), 1},
                    {30, 11, QStringLiteral("甲二a"), 1},
                    {11, 10, QStringLiteral("甲二"), 1},
                    {12, 10, QStringLiteral("甲一"), 0},
                    {21, 20, QStringLiteral("乙一"), 1}});
    CategoryTree tree;
    CategoryTreeBuilder builder(vault.module(), tree, vault.folder());
    builder.GJTree();
    const QStringList expected{
        QStringLiteral("1 全部分类 +"),  QStringLiteral("  10 甲 +"),        QStringLiteral("    12 甲一 +"),
        QStringLiteral("    11 甲二 +"), QStringLiteral("      30 甲二a +"), QStringLiteral("      31 甲二b +"),
        QStringLiteral("  20 乙 +"),     QStringLiteral("    21 乙一 +"),    QStringLiteral("  5 丙 +"),
    };
    QCOMPARE(outline(tree), expected);
    QCOMPARE(tree.nodeCount(), 9);
}

void TestTree::rowsOutsideTheTree_data() {
    QTest::addColumn<QList<Row>>("rows");
    QTest::addColumn<QString>("rootRepair"); // how the root row is damaged, if at all
    QTest::addColumn<QStringList>("expected");

    const QStringList rootAndOne{QStringLiteral("1 全部分类 +"), QStringLiteral("  2 一 +")};
    QTest::newRow("parent missing") << QList<Row>{{2, 1, QStringLiteral("一"), 1},
                                                  {40, 999, QStringLiteral("孤儿"), 1},
                                                  {41, 40, QStringLiteral("孤儿之子"), 1}}
                                    << QString() << rootAndOne;
    QTest::newRow("own parent") << QList<Row>{{2, 1, QStringLiteral("一"), 1}, {50, 50, QStringLiteral("自己"), 1}}
                                << QString() << rootAndOne;
    QTest::newRow("second row without parent")
        << QList<Row>{{2, 1, QStringLiteral("一"), 1}, {60, -1, QStringLiteral("另一个根"), 1}} << QString()
        << rootAndOne;
    // A damaged root row that points back into the tree must neither recurse for ever nor show
    // the root twice.
    QTest::newRow("root under its child")
        << QList<Row>{{2, 1, QStringLiteral("一"), 1}}
        << QStringLiteral("UPDATE Quorvane_Type SET PID = 2 WHERE ID = 1") << rootAndOne;
    QTest::newRow("root its own parent") << QList<Row>{{2, 1, QStringLiteral("一"), 1}}
                                         << QStringLiteral("UPDATE Quorvane_Type SET PID = 1 WHERE ID = 1")
                                         << rootAndOne;
    QTest::newRow("null name") << QList<Row>{{2, 1, QVariant(), 1}} << QString()
                               << QStringList{QStringLiteral("1 全部分类 +"), QStringLiteral("  2  +")};
}

void TestTree::rowsOutsideTheTree() {
    QFETCH(QList<Row>, rows);
    QFETCH(QString, rootRepair);
    QFETCH(QStringList, expected);
    TempVault vault;
    addRows(vault, rows);
    if (!rootRepair.isEmpty()) {
        vault.exec(rootRepair);
    }
    CategoryTree tree;
    CategoryTreeBuilder builder(vault.module(), tree, vault.folder());
    builder.GJTree();
    QCOMPARE(outline(tree), expected);
}

void TestTree::keysBeyondSixteenBits() {
    TempVault vault;
    addRows(vault, {{40000, 1, QStringLiteral("大"), 1},
                    {5000000000LL, 40000, QStringLiteral("更大"), 1},
                    {5000000001LL, 5000000000LL, QStringLiteral("最大"), 1}});
    CategoryTree tree;
    CategoryTreeBuilder builder(vault.module(), tree, vault.folder());
    builder.GJTree();
    const QStringList expected{QStringLiteral("1 全部分类 +"), QStringLiteral("  40000 大 +"),
                               QStringLiteral("    5000000000 更大 +"), QStringLiteral("      5000000001 最大 +")};
    QCOMPARE(outline(tree), expected);
}

void TestTree::rebuildStartsAfresh() {
    TempVault vault;
    addRows(vault, {{2, 1, QStringLiteral("一"), 1}, {3, 2, QStringLiteral("二"), 1}});
    CategoryTree tree;
    CategoryTreeBuilder builder(vault.module(), tree, vault.folder());
    builder.GJTree();
    tree.setCurrentItem(tree.nodeByKey(3));
    QVERIFY(tree.selectedNode() != nullptr);

    addRows(vault, {{4, 1, QStringLiteral("三"), 1}});
    vault.exec(QStringLiteral("UPDATE Quorvane_Type SET Name = '一改' WHERE ID = 2"));
    builder.GJTree();
    const QStringList expected{QStringLiteral("1 全部分类 +"), QStringLiteral("  2 一改 +"),
                               QStringLiteral("    3 二 +"), QStringLiteral("  4 三 +")};
    QCOMPARE(outline(tree), expected);
    QCOMPARE(tree.nodeCount(), 4);
    QCOMPARE(tree.selectedNode(), nullptr);
}

void TestTree::iconsComeFromTheProgramFolderOnEveryBuild() {
    TempVault vault;
    QVERIFY(QDir(vault.folder()).mkpath(QStringLiteral("Icons")));
    const QString normal = vault.folder() + QStringLiteral("/Icons/00032.ico");
    writeIcon(normal, Qt::red);
    writeIcon(vault.folder() + QStringLiteral("/Icons/00023.ico"), Qt::blue);
    CategoryTree tree;
    CategoryTreeBuilder builder(vault.module(), tree, vault.folder());
    builder.GJTree();
    const auto colourOf = [&tree] {
        return tree.nodeByKey(1)->icon(0).pixmap(16, QIcon::Normal).toImage().pixelColor(8, 8);
    };
    QCOMPARE(colourOf(), QColor(Qt::red));

    QVERIFY(QFile::remove(normal));
    writeIcon(normal, Qt::green);
    builder.GJTree();
    QCOMPARE(colourOf(), QColor(Qt::green));
}

void TestTree::rightButtonOpensTheMenuAtThePointer() {
    TempVault vault;
    FakePlatform fake;
    Main window(vault.module(), fake.platform, vault.folder());
    window.GJTree();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    CategoryTree* tree = window.tree();
    QMenu* menu = window.rightMenu();
    QVERIFY(tree != nullptr && menu != nullptr);
    QCOMPARE(tree->objectName(), QStringLiteral("Tree"));

    QStringList items;
    for (const QAction* action : menu->actions()) {
        if (!action->isSeparator()) {
            items << action->text();
        }
    }
    QCOMPARE(items, (QStringList{QStringLiteral("新建(&N)"), QStringLiteral("修改(&E)"), QStringLiteral("删除(&D)")}));

    const QPoint at = tree->visualItemRect(tree->nodeByKey(1)).center();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
    QTest::qWait(50);
    QVERIFY(!menu->isVisible());
    QCOMPARE(tree->selectedNode(), tree->nodeByKey(1));

    const QPoint below = at + QPoint(0, 40);
    QTest::mouseMove(tree->viewport(), below);
    // Whether the menu pops up or runs its own loop, look at it from the event loop, then close it.
    bool seen = false;
    QPoint shownAt;
    QPoint pointer;
    QTimer::singleShot(0, menu, [&] {
        seen = menu->isVisible();
        shownAt = menu->pos();
        pointer = QCursor::pos();
        menu->close();
    });
    QTest::mousePress(tree->viewport(), Qt::RightButton, {}, below);
    QTest::mouseRelease(tree->viewport(), Qt::RightButton, {}, below);
    QTRY_VERIFY(seen);
    QCOMPARE(pointer, tree->viewport()->mapToGlobal(below));
    QCOMPARE(shownAt, pointer);
    // The right button leaves the selection where the user put it.
    QCOMPARE(tree->selectedNode(), tree->nodeByKey(1));
    QVERIFY(fake.boxes.shown.isEmpty());
}

VAULTRY_TEST_MAIN(TestTree)
#include "tst_tree.moc"
