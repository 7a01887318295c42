#include "controls/CategoryTree.h"
#include "controls/CheckListBox.h"
#include "controls/FlatEdit.h"
#include "controls/SkinComboBox.h"

#include <QSignalSpy>
#include <QTest>
#include <stdexcept>

class TstSkin : public QObject {
    Q_OBJECT
private slots:
    void flatEditPasswordCharacter();
    void comboSetTextFallsBackToFirstItem();
    void listSelectedIndexAndItemData();
    void listTicksAndRemoval();
    void listReportsClicksAndKeys();
    void treeKeys();
    void treeMouseButtons();
};

void TstSkin::flatEditPasswordCharacter() {
    FlatEdit edit;
    edit.setText(QStringLiteral("geheim"));
    QCOMPARE(edit.passwordChar(), QString());
    QCOMPARE(edit.displayText(), QStringLiteral("geheim"));
    edit.setPasswordChar(QStringLiteral("*"));
    QCOMPARE(edit.passwordChar(), QStringLiteral("*"));
    QVERIFY(edit.displayText() != edit.text());
    QCOMPARE(edit.text(), QStringLiteral("geheim"));
    edit.setPasswordChar(QString());
    QCOMPARE(edit.passwordChar(), QString());
    QCOMPARE(edit.displayText(), QStringLiteral("geheim"));
}

void TstSkin::comboSetTextFallsBackToFirstItem() {
    SkinComboBox combo;
    QVERIFY(!combo.isEditable());
    combo.addItems({QStringLiteral("网站"), QStringLiteral("邮箱"), QStringLiteral("银行")});
    combo.setText(QStringLiteral("银行"));
    QCOMPARE(combo.currentIndex(), 2);
    combo.setText(QStringLiteral("不存在"));
    QCOMPARE(combo.currentIndex(), 0);
    QCOMPARE(combo.currentText(), QStringLiteral("网站"));
}

void TstSkin::listSelectedIndexAndItemData() {
    CheckListBox list;
    list.addItemWithData(QStringLiteral("a"), 5'000'000'001LL);
    list.addItemWithData(QStringLiteral("b"), -3);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    // Taking the focus gives Qt a current row, but nothing is highlighted yet.
    list.setFocus();
    QCOMPARE(list.selectedIndex(), -1);
    QCOMPARE(list.itemData(0), 5'000'000'001LL);
    QCOMPARE(list.itemDataText(0), QStringLiteral("5000000001"));
    QCOMPARE(list.itemData(1), -3LL);
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, list.itemData(2));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, list.isTicked(-1));

    list.setCurrentRow(1);
    QCOMPARE(list.selectedIndex(), 1);
    list.clearItems();
    QCOMPARE(list.itemCount(), 0);
    QCOMPARE(list.selectedIndex(), -1);
    list.addItemWithData(QStringLiteral("c"), 7);
    QCOMPARE(list.selectedIndex(), -1);
}

void TstSkin::listTicksAndRemoval() {
    CheckListBox list;
    for (int i = 0; i < 4; ++i) {
        list.addItemWithData(QString::number(i), 100 + i);
    }
    QVERIFY(list.item(0)->flags().testFlag(Qt::ItemIsUserCheckable));
    QVERIFY(!list.isTicked(0));
    list.setTicked(0, true);
    list.setTicked(2, true);

    // Removing an item that is not highlighted keeps the highlight on the same entry.
    list.setCurrentRow(3);
    list.removeItemAt(0);
    QCOMPARE(list.itemCount(), 3);
    QCOMPARE(list.selectedIndex(), 2);
    QCOMPARE(list.itemData(2), 103LL);
    QVERIFY(list.isTicked(1));
    QCOMPARE(list.itemData(1), 102LL);

    // Removing the highlighted item leaves nothing highlighted.
    list.removeItemAt(2);
    QCOMPARE(list.selectedIndex(), -1);
    QCOMPARE(list.itemCount(), 2);
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, list.removeItemAt(2));
}

void TstSkin::listReportsClicksAndKeys() {
    CheckListBox list;
    for (int i = 0; i < 3; ++i) {
        list.addItemWithData(QString::number(i), i);
    }
    list.resize(200, 200);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QSignalSpy spy(&list, &CheckListBox::clicked);

    const QPoint below(10, list.viewport()->height() - 5);
    QVERIFY(!list.indexAt(below).isValid());
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, below);
    QCOMPARE(spy.count(), 0);

    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(list.item(1)).center());
    QCOMPARE(spy.count(), 1);
    QCOMPARE(list.selectedIndex(), 1);
    QTest::keyClick(&list, Qt::Key_Down);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(list.selectedIndex(), 2);
    // At the end of the list the arrow changes nothing and reports nothing.
    QTest::keyClick(&list, Qt::Key_Down);
    QCOMPARE(spy.count(), 2);

    // Clicking below the items keeps the highlight.
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, below);
    QCOMPARE(list.selectedIndex(), 2);
    QCOMPARE(spy.count(), 2);
}

void TstSkin::treeKeys() {
    CategoryTree tree;
    QVERIFY(tree.isHeaderHidden());
    QTreeWidgetItem* root = tree.addNode(-1, 1, QStringLiteral("全部分类"));
    QTreeWidgetItem* mail = tree.addNode(1, 3'000'000'000LL, QStringLiteral("邮箱"));
    QTreeWidgetItem* work = tree.addNode(3'000'000'000LL, 7, QStringLiteral("工作"));
    QCOMPARE(CategoryTree::nodeKey(root), QStringLiteral("1"));
    QCOMPARE(CategoryTree::nodeKey(mail), QStringLiteral("3000000000"));
    QCOMPARE(CategoryTree::nodeKey(nullptr), QString());
    QCOMPARE(work->parent(), mail);
    QCOMPARE(tree.nodeByKey(7), work);
    QCOMPARE(tree.topLevelItemCount(), 1);

    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, tree.addNode(99, 8, QStringLiteral("x")));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, tree.addNode(1, 7, QStringLiteral("x")));
    QCOMPARE(tree.nodeCount(), 3);

    // Removing a node forgets its whole sub-tree: the keys can be used again.
    tree.removeNode(mail);
    QCOMPARE(tree.nodeCount(), 1);
    QCOMPARE(tree.nodeByKey(7), nullptr);
    QCOMPARE(root->childCount(), 0);
    tree.addNode(1, 7, QStringLiteral("工作"));
    QCOMPARE(tree.nodeCount(), 2);

    tree.clearNodes();
    QCOMPARE(tree.nodeCount(), 0);
    QCOMPARE(tree.selectedNode(), nullptr);
    tree.addNode(-1, 1, QStringLiteral("全部分类"));
}

void TstSkin::treeMouseButtons() {
    CategoryTree tree;
    QTreeWidgetItem* root = tree.addNode(-1, 1, QStringLiteral("全部分类"));
    QTreeWidgetItem* child = tree.addNode(1, 2, QStringLiteral("邮箱"));
    root->setExpanded(true);
    tree.resize(200, 200);
    tree.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tree));
    QSignalSpy buttons(&tree, &CategoryTree::mouseButton);
    QSignalSpy clicks(&tree, &CategoryTree::nodeClicked);

    const QPoint onRoot = tree.visualItemRect(root).center();
    const QPoint onChild = tree.visualItemRect(child).center();
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, onRoot);
    QCOMPARE(tree.selectedNode(), root);
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(clicks.last().at(0).value<QTreeWidgetItem*>(), root);
    QCOMPARE(buttons.count(), 1);
    QCOMPARE(buttons.last().at(0).toInt(), 1);

    // The right button reports where it went down (in the tree's coordinates) and leaves the
    // selection, and the click count, alone.
    QTest::mouseClick(tree.viewport(), Qt::RightButton, {}, onChild);
    QCOMPARE(buttons.count(), 2);
    QCOMPARE(buttons.last().at(0).toInt(), 2);
    const QPoint inTree = tree.viewport()->mapTo(&tree, onChild);
    QCOMPARE(buttons.last().at(1).toInt(), inTree.x());
    QCOMPARE(buttons.last().at(2).toInt(), inTree.y());
    QCOMPARE(tree.selectedNode(), root);
    QCOMPARE(clicks.count(), 1);

    // A right click on the node the left button last pressed is no click either.
    QTest::mouseClick(tree.viewport(), Qt::RightButton, {}, onRoot);
    QCOMPARE(clicks.count(), 1);

    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, onChild);
    QCOMPARE(tree.selectedNode(), child);
    QCOMPARE(clicks.count(), 2);
}

QTEST_MAIN(TstSkin)
#include "tst_skin.moc"
