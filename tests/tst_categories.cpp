#include "controls/CategoryTree.h"
#include "controls/FlatEdit.h"
#include "support/Child.h"
#include "support/FakePlatform.h"
#include "support/ReadOnlyCopy.h"
#include "support/SuiteGuard.h"
#include "support/TempVault.h"
#include "tree/CategoryCommands.h"
#include "tree/CategoryTreeBuilder.h"
#include "tree/frmType.h"
#include "vault/SecretCipher.h"
#include "vault/VaultError.h"

#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QtTest>
#include <cstdio>
#include <functional>

namespace {

const QString RowsInOrder = QStringLiteral("SELECT group_concat(ID || '|' || PID || '|' || Name || '|' || Seq, ';') "
                                           "FROM (SELECT * FROM Quorvane_Type ORDER BY ID)");

// The category commands on a tree of their own, as the main window wires them: the rebuild is
// the builder's GJTree, the dialog is driven by `action` instead of a modal loop.
class Desk {
public:
    Desk() {
        QAction* newCategory = menu.addAction(QStringLiteral("New"));
        QAction* rename = menu.addAction(QStringLiteral("Edit"));
        commands.connectHandlers(*newCategory, *rename, *menu.addAction(QStringLiteral("Del")));
        commands.setDialogRunner([this](frmType& dialog) {
            ++dialogsShown;
            dialog.show();
            if (action) {
                action(dialog);
            }
        });
    }

    void add(qint64 id, qint64 pid, const QString& name, int seq = 1) { vault.addCategory(name, pid, seq, id); }
    void addEntry(qint64 type) {
        vault.addEntry({.type = type, .caption = QStringLiteral("标题"), .sort = QStringLiteral("普通账号")});
    }
    void build() { builder.GJTree(); }
    // Delete as the menu runs it, with the error handling it is connected with.
    void del() { menu.actions().at(2)->trigger(); }
    void select(qint64 key) {
        QTreeWidgetItem* node = tree->nodeByKey(key);
        QVERIFY(node != nullptr);
        tree->setCurrentItem(node);
    }
    QString rows() { return vault.scalar(RowsInOrder).toString(); }

    TempVault vault;
    FakePlatform fake;
    QWidget owner;
    QMenu menu;
    CategoryTree* tree = new CategoryTree(&owner);
    CategoryTreeBuilder builder{vault.module(), *tree, vault.folder()};
    int rebuilds = 0;
    std::function<void()> afterRebuild;
    CategoryCommands commands{vault.module(),
                              fake.platform,
                              *tree,
                              &owner,
                              [this] {
                                  ++rebuilds;
                                  builder.GJTree();
                                  if (afterRebuild) {
                                      afterRebuild();
                                  }
                              },
                              vault.folder()};
    int dialogsShown = 0;
    std::function<void(frmType&)> action;
};

FlatEdit* nameBox(frmType& dialog) {
    return child<FlatEdit>(dialog, QStringLiteral("TypeName"));
}
QLabel* messageLine(frmType& dialog) {
    return child<QLabel>(dialog, QStringLiteral("Label2"));
}

void pressOk(frmType& dialog) {
    QTest::mouseClick(child<QPushButton>(dialog, QStringLiteral("OK")), Qt::LeftButton);
}

void nameAndOk(frmType& dialog, const QString& name) {
    nameBox(dialog)->setText(name);
    pressOk(dialog);
}

void verifyBox(const RecordedBox& box, const QString& text, const QString& title, BoxButtons buttons, BoxIcon icon) {
    QCOMPARE(box.text, text);
    QCOMPARE(box.title, title);
    QCOMPARE(box.buttons, buttons);
    QCOMPARE(box.icon, icon);
}

// Renames category 2 of the vault in `folder` through the real dialog, as a user would, and
// tells what became of it: the boxes' titles, and whether the program was ended.
QString renameInFolder(const QString& folder) {
    Module module;
    module.VaultConnection.setConnectionString(Connection::connectionTextFor(folder));
    module.VaultConnection.open();
    FakePlatform fake;
    QWidget owner;
    auto* tree = new CategoryTree(&owner);
    CategoryTreeBuilder builder(module, *tree, folder);
    CategoryCommands commands(
        module, fake.platform, *tree, &owner, [&builder] { builder.GJTree(); }, folder);
    commands.setDialogRunner([](frmType& dialog) {
        dialog.show();
        nameAndOk(dialog, QStringLiteral("改不了"));
    });
    builder.GJTree();
    tree->setCurrentItem(tree->nodeByKey(2));
    commands.Edit();
    QStringList titles;
    for (const RecordedBox& box : fake.boxes.shown) {
        titles << box.title;
    }
    return titles.join(u',') + (fake.programEnd.ended() ? QStringLiteral("|ended") : QStringLiteral("|running"));
}

} // namespace

class TestCategories : public QObject {
    Q_OBJECT
private slots:
    void commandsWithoutSelection();
    void newBelowTheRoot();
    void newBelowALargeKey();
    void editShowsAndWritesNameAndSeqOnly();
    void emptyNameIsRefusedUntilANameIsGiven();
    void closeBoxWritesNothing();
    void renamingTheRootKeepsTheMasterPassword();
    void vanishedCategory_data();
    void vanishedCategory();
    void engineFailureInOkEndsTheProgram();
    void readOnlyFileInOkEndsTheProgram();
    void otherErrorsInOkLeaveTheProgramRunning();
    void deleteRefusals_data();
    void deleteRefusals();
    void deleteAnsweredNo();
    void deleteAnsweredYes();
    void deleteAsksTheFileAgainAfterTheQuestion_data();
    void deleteAsksTheFileAgainAfterTheQuestion();
    void deleteFailureIsReportedAndTheProgramGoesOn();
};

void TestCategories::commandsWithoutSelection() {
    Desk desk;
    desk.add(2, 1, QStringLiteral("一"));
    desk.build();
    const QString before = desk.rows();
    desk.commands.New();
    desk.commands.Edit();
    desk.del();
    const QStringList expected{QStringLiteral("请选择需要建下级分类的分类名称！"),
                               QStringLiteral("请选择需要修改的分类名称！"),
                               QStringLiteral("请选择需要删除的分类名称！")};
    QCOMPARE(desk.fake.boxes.texts(), expected);
    for (const RecordedBox& box : desk.fake.boxes.shown) {
        verifyBox(box, box.text, QStringLiteral("提示！"), BoxButtons::Ok, BoxIcon::Exclamation);
    }
    QCOMPARE(desk.dialogsShown, 0);
    QCOMPARE(desk.rebuilds, 0);
    QCOMPARE(desk.rows(), before);
    QCOMPARE(desk.tree->nodeCount(), 2);
}

void TestCategories::newBelowTheRoot() {
    Desk desk;
    desk.add(2, 1, QStringLiteral("一"));
    desk.build();
    desk.select(1);
    bool openedEmpty = false;
    int result = -1;
    desk.action = [&](frmType& dialog) {
        openedEmpty = nameBox(dialog)->text().isEmpty();
        nameAndOk(dialog, QStringLiteral("工作"));
        result = dialog.result();
        QVERIFY(!dialog.isVisible());
    };
    desk.commands.New();
    QCOMPARE(desk.dialogsShown, 1);
    QVERIFY(openedEmpty);
    QCOMPARE(result, int(QDialog::Accepted));
    QVERIFY(desk.fake.boxes.shown.isEmpty());
    QCOMPARE(desk.vault.count(QStringLiteral("Quorvane_Type")), 3);
    const qint64 id =
        desk.vault.scalar(QStringLiteral("SELECT ID FROM Quorvane_Type WHERE Name = '工作'")).toLongLong();
    QVERIFY(id > 2);
    QCOMPARE(
        desk.vault.count(QStringLiteral("Quorvane_Type"), QStringLiteral("ID = %1 AND PID = 1 AND Seq = 1").arg(id)),
        1);
    QCOMPARE(desk.vault.scalar(QStringLiteral("SELECT Seq FROM Quorvane_Type WHERE ID = 1")).toInt(), 0);

    QCOMPARE(desk.rebuilds, 1);
    QTreeWidgetItem* node = desk.tree->nodeByKey(id);
    QVERIFY(node != nullptr);
    QCOMPARE(node->text(0), QStringLiteral("工作"));
    QCOMPARE(node->parent(), desk.tree->nodeByKey(1));
    QCOMPARE(desk.tree->nodeByKey(1)->indexOfChild(node), 1);
    QVERIFY(desk.tree->nodeByKey(1)->isExpanded());
    QCOMPARE(desk.tree->selectedNode(), nullptr);
}

void TestCategories::newBelowALargeKey() {
    Desk desk;
    desk.add(40000, 1, QStringLiteral("大"));
    desk.build();
    desk.select(40000);
    desk.action = [](frmType& dialog) {
        QTest::keyClicks(nameBox(dialog), QStringLiteral("sub one"));
        pressOk(dialog);
    };
    desk.commands.New();
    QCOMPARE(desk.vault.count(QStringLiteral("Quorvane_Type"),
                              QStringLiteral("PID = 40000 AND Name = 'sub one' AND Seq = 1")),
             1);
    QCOMPARE(desk.tree->nodeByKey(40000)->childCount(), 1);
}

void TestCategories::editShowsAndWritesNameAndSeqOnly() {
    Desk desk;
    desk.add(10, 1, QStringLiteral("旧名"), 7);
    desk.add(11, 1, QStringLiteral("邻居"), 3);
    desk.add(12, 10, QStringLiteral("下级"), 1);
    desk.build();
    QCOMPARE(desk.tree->nodeByKey(1)->child(0), desk.tree->nodeByKey(11));
    const QString before = desk.rows();
    desk.select(10);
    QString shown;
    desk.action = [&](frmType& dialog) {
        shown = nameBox(dialog)->text();
        nameAndOk(dialog, QStringLiteral("新名"));
    };
    desk.commands.Edit();
    QCOMPARE(shown, QStringLiteral("旧名"));
    QCOMPARE(desk.rows(), QString(before).replace(QStringLiteral("10|1|旧名|7"), QStringLiteral("10|1|新名|1")));
    // Seq 1 now puts the renamed category ahead of its neighbour.
    QCOMPARE(desk.tree->nodeByKey(1)->child(0), desk.tree->nodeByKey(10));
    QCOMPARE(desk.tree->nodeByKey(10)->text(0), QStringLiteral("新名"));
    QCOMPARE(desk.tree->nodeByKey(12)->parent(), desk.tree->nodeByKey(10));
}

void TestCategories::emptyNameIsRefusedUntilANameIsGiven() {
    Desk desk;
    desk.build();
    desk.select(1);
    const QString before = desk.rows();
    QString firstMessage;
    bool stayedOpen = false;
    QString rowsAfterEmpty;
    QString secondMessage = QStringLiteral("unset");
    desk.action = [&](frmType& dialog) {
        pressOk(dialog);
        firstMessage = messageLine(dialog)->text();
        stayedOpen = dialog.isVisible();
        rowsAfterEmpty = desk.rows();
        // Blanks are a name: only the empty text is refused, and nothing is trimmed.
        nameAndOk(dialog, QStringLiteral("  "));
        secondMessage = messageLine(dialog)->text();
    };
    desk.commands.New();
    QCOMPARE(firstMessage, QStringLiteral("请输入分类名称！"));
    QVERIFY(stayedOpen);
    QCOMPARE(rowsAfterEmpty, before);
    QCOMPARE(secondMessage, QString());
    QCOMPARE(desk.vault.count(QStringLiteral("Quorvane_Type"), QStringLiteral("PID = 1 AND Name = '  '")), 1);
    QCOMPARE(desk.rebuilds, 1);
    QVERIFY(desk.fake.boxes.shown.isEmpty());
}

void TestCategories::closeBoxWritesNothing() {
    Desk desk;
    desk.add(2, 1, QStringLiteral("一"));
    desk.build();
    const QString before = desk.rows();
    for (const bool rename : {false, true}) {
        desk.select(2);
        desk.action = [](frmType& dialog) {
            nameBox(dialog)->setText(QStringLiteral("不要"));
            QVERIFY(dialog.close());
        };
        rename ? desk.commands.Edit() : desk.commands.New();
    }
    QCOMPARE(desk.dialogsShown, 2);
    QCOMPARE(desk.rows(), before);
    QCOMPARE(desk.rebuilds, 0);
}

void TestCategories::renamingTheRootKeepsTheMasterPassword() {
    Desk desk;
    const qint16 rootSeq = 4321;
    const QString password = QStringLiteral("开门dog'1");
    desk.vault.exec(QStringLiteral("UPDATE Quorvane_Type SET Seq = %1 WHERE ID = 1").arg(rootSeq));
    desk.vault.exec(QStringLiteral("UPDATE Quorvane_Login SET Pass = ? WHERE ID = 1"),
                    {EncodeSecret(password + QString::number(rootSeq), Module::SecretKey)});
    desk.vault.module().RootSeq = rootSeq;
    desk.build();

    desk.select(1);
    QString shown;
    desk.action = [&](frmType& dialog) {
        shown = nameBox(dialog)->text();
        nameAndOk(dialog, QStringLiteral("我的分类"));
    };
    desk.commands.Edit();
    desk.select(1);
    desk.action = [](frmType& dialog) { nameAndOk(dialog, QStringLiteral("新的")); };
    desk.commands.New();

    QCOMPARE(shown, QStringLiteral("全部分类"));
    QCOMPARE(desk.vault.scalar(QStringLiteral("SELECT Name FROM Quorvane_Type WHERE ID = 1")).toString(),
             QStringLiteral("我的分类"));
    QCOMPARE(desk.vault.scalar(QStringLiteral("SELECT PID FROM Quorvane_Type WHERE ID = 1")).toLongLong(), -1);
    const int storedSeq = desk.vault.scalar(QStringLiteral("SELECT Seq FROM Quorvane_Type WHERE ID = 1")).toInt();
    QCOMPARE(storedSeq, int(rootSeq));
    // The login compares the stored form with the typed password plus the root row's Seq.
    QCOMPARE(desk.vault.scalar(QStringLiteral("SELECT Pass FROM Quorvane_Login WHERE ID = 1")).toString(),
             EncodeSecret(password + QString::number(storedSeq), Module::SecretKey));
    QCOMPARE(desk.tree->nodeByKey(1)->text(0), QStringLiteral("全部分类"));
    QCOMPARE(desk.tree->nodeByKey(1)->childCount(), 1);
}

// Another copy of the program (or another tool) deleted the category the command acts on.
void TestCategories::vanishedCategory_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("beforeLoad");
    QTest::newRow("rename, gone before the dialog") << frmType::Rename << true;
    QTest::newRow("rename, gone while it is open") << frmType::Rename << false;
    QTest::newRow("new, parent gone before the dialog") << frmType::NewCategory << true;
    QTest::newRow("new, parent gone while it is open") << frmType::NewCategory << false;
}

void TestCategories::vanishedCategory() {
    QFETCH(int, mode);
    QFETCH(bool, beforeLoad);
    Desk desk;
    desk.add(2, 1, QStringLiteral("一"));
    desk.add(3, 1, QStringLiteral("二"));
    desk.build();
    desk.select(2);
    const QString removeIt = QStringLiteral("DELETE FROM Quorvane_Type WHERE ID = 2");
    if (beforeLoad) {
        desk.vault.exec(removeIt);
    }
    bool closed = false;
    int result = -1;
    desk.action = [&](frmType& dialog) {
        desk.vault.exec(removeIt);
        nameAndOk(dialog, QStringLiteral("名字"));
        closed = !dialog.isVisible();
        result = dialog.result();
    };
    mode == frmType::Rename ? desk.commands.Edit() : desk.commands.New();

    QCOMPARE(desk.dialogsShown, beforeLoad ? 0 : 1);
    if (!beforeLoad) {
        QVERIFY(closed);
        QCOMPARE(result, int(QDialog::Rejected));
    }
    QCOMPARE(desk.fake.boxes.shown.size(), 1);
    verifyBox(desk.fake.boxes.last(), QStringLiteral("选中的分类已不存在！"), QStringLiteral("提示！"), BoxButtons::Ok,
              BoxIcon::Exclamation);
    QCOMPARE(desk.rows(), QStringLiteral("1|-1|全部分类|0;3|1|二|1"));
    QCOMPARE(desk.rebuilds, 1);
    QCOMPARE(desk.tree->nodeByKey(2), nullptr);
    QVERIFY(!desk.fake.programEnd.ended());
}

// Another connection holds the write lock: the update fails once the busy wait is over, with the
// engine's error number; the dialog stays open behind the box and nothing is rebuilt.
void TestCategories::engineFailureInOkEndsTheProgram() {
    Desk desk;
    desk.add(2, 1, QStringLiteral("一"));
    desk.build();
    desk.select(2);
    bool stayedOpen = false;
    desk.action = [&](frmType& dialog) {
        desk.vault.exec(QStringLiteral("BEGIN IMMEDIATE"));
        nameAndOk(dialog, QStringLiteral("改不了"));
        stayedOpen = dialog.isVisible();
        desk.vault.exec(QStringLiteral("ROLLBACK"));
    };
    desk.commands.Edit();
    QCOMPARE(desk.fake.boxes.shown.size(), 1);
    const RecordedBox box = desk.fake.boxes.last();
    QCOMPARE(box.title, QStringLiteral("错误-2147467259"));
    QCOMPARE(box.icon, BoxIcon::Critical);
    QCOMPARE(box.buttons, BoxButtons::Ok);
    QVERIFY(!box.text.isEmpty());
    QCOMPARE(desk.fake.programEnd.calls, 1);
    QVERIFY(stayedOpen);
    QCOMPARE(desk.rebuilds, 0);
    QCOMPARE(desk.vault.scalar(QStringLiteral("SELECT Name FROM Quorvane_Type WHERE ID = 2")).toString(),
             QStringLiteral("一"));
}

void TestCategories::readOnlyFileInOkEndsTheProgram() {
    Desk desk;
    desk.add(2, 1, QStringLiteral("一"));
    const ReadOnlyCopy copy(desk.vault.dbPath());
    QVERIFY(copy.isValid());
    const QByteArray before = copy.bytes();

    const ReadOnlyCopy::Outcome attempt = copy.runThisProgram({QStringLiteral("--rename-in"), copy.folder()});
    if (!attempt.ran) {
        QSKIP(qPrintable(attempt.whyNot));
    }
    QCOMPARE(attempt.output, QStringLiteral("错误-2147467259|ended"));
    QCOMPARE(copy.bytes(), before);
}

// A failing rebuild comes after the row is written and the dialog closed: reported, and only an
// engine failure ends the program.
void TestCategories::otherErrorsInOkLeaveTheProgramRunning() {
    for (const long number : {long(VaultError::Overflow), VaultError::EngineFailure}) {
        Desk desk;
        desk.build();
        desk.select(1);
        desk.afterRebuild = [number] { throw VaultError(number, QStringLiteral("坏了")); };
        bool closed = false;
        desk.action = [&](frmType& dialog) {
            nameAndOk(dialog, QStringLiteral("新"));
            closed = !dialog.isVisible();
        };
        desk.commands.New();
        QVERIFY(closed);
        QCOMPARE(desk.fake.boxes.shown.size(), 1);
        verifyBox(desk.fake.boxes.last(), QStringLiteral("坏了"), QStringLiteral("错误") + QString::number(number),
                  BoxButtons::Ok, BoxIcon::Critical);
        QCOMPARE(desk.fake.programEnd.ended(), number == VaultError::EngineFailure);
        QCOMPARE(desk.vault.count(QStringLiteral("Quorvane_Type"), QStringLiteral("Name = '新'")), 1);
    }
}

void TestCategories::deleteRefusals_data() {
    QTest::addColumn<qint64>("key");
    QTest::addColumn<QString>("message");
    QTest::newRow("root without children") << qint64(1) << QStringLiteral("根级分类不能删除！");
    QTest::newRow("children and entries") << qint64(2) << QStringLiteral("存在下级分类不能删除！");
    QTest::newRow("child added since the build") << qint64(4) << QStringLiteral("存在下级分类不能删除！");
    QTest::newRow("one entry") << qint64(3) << QStringLiteral("存在账号信息不能删除！");
}

void TestCategories::deleteRefusals() {
    QFETCH(qint64, key);
    QFETCH(QString, message);
    Desk desk;
    if (key != 1) {
        desk.add(2, 1, QStringLiteral("有下级"));
        desk.add(20, 2, QStringLiteral("下级"));
        desk.addEntry(2);
        desk.add(3, 1, QStringLiteral("有账号"));
        desk.addEntry(3);
        desk.add(4, 1, QStringLiteral("别处加了下级"));
    }
    desk.build();
    if (key == 4) {
        desk.add(40, 4, QStringLiteral("新来的"));
    }
    const QString before = desk.rows();
    const int nodes = desk.tree->nodeCount();
    desk.select(key);
    desk.fake.boxes.queueAnswer(BoxAnswer::Yes); // would delete if the command went as far as asking
    desk.del();
    QCOMPARE(desk.fake.boxes.shown.size(), 1);
    verifyBox(desk.fake.boxes.last(), message, QStringLiteral("提示！"), BoxButtons::Ok, BoxIcon::Exclamation);
    QCOMPARE(desk.rows(), before);
    QCOMPARE(desk.tree->nodeCount(), nodes);
}

void TestCategories::deleteAnsweredNo() {
    Desk desk;
    desk.add(2, 1, QStringLiteral("一"));
    desk.build();
    const QString before = desk.rows();
    desk.select(2);
    desk.del();
    QCOMPARE(desk.fake.boxes.shown.size(), 1);
    verifyBox(desk.fake.boxes.last(), QStringLiteral("是否真的要删除选中的分类？"), QStringLiteral("提示"),
              BoxButtons::YesNo, BoxIcon::Question);
    QCOMPARE(desk.rows(), before);
    QCOMPARE(desk.tree->nodeCount(), 2);
}

void TestCategories::deleteAnsweredYes() {
    Desk desk;
    desk.add(2, 1, QStringLiteral("一"));
    desk.add(3, 2, QStringLiteral("一之一"));
    desk.add(4, 2, QStringLiteral("一之二"));
    desk.add(5, 1, QStringLiteral("二"));
    desk.addEntry(4);
    desk.build();
    QTreeWidgetItem* sibling = desk.tree->nodeByKey(4);
    QTreeWidgetItem* other = desk.tree->nodeByKey(5);
    desk.select(3);
    desk.fake.boxes.queueAnswer(BoxAnswer::Yes);
    desk.del();
    QCOMPARE(desk.fake.boxes.shown.size(), 1);
    QCOMPARE(desk.rows(), QStringLiteral("1|-1|全部分类|0;2|1|一|1;4|2|一之二|1;5|1|二|1"));
    QCOMPARE(desk.vault.count(QStringLiteral("Quorvane_Pass")), 1);
    // Only that node went: the others are the very same items, so nothing was rebuilt.
    QCOMPARE(desk.rebuilds, 0);
    QCOMPARE(desk.tree->nodeCount(), 4);
    QCOMPARE(desk.tree->nodeByKey(3), nullptr);
    QCOMPARE(desk.tree->nodeByKey(4), sibling);
    QCOMPARE(desk.tree->nodeByKey(5), other);
    QCOMPARE(desk.tree->nodeByKey(2)->childCount(), 1);
}

// What another program files below the category while the question is up keeps the category.
void TestCategories::deleteAsksTheFileAgainAfterTheQuestion_data() {
    QTest::addColumn<QString>("meanwhile");
    QTest::addColumn<QString>("message");
    QTest::newRow("sub-category") << "INSERT INTO Quorvane_Type (ID, PID, Name, Seq) VALUES (30, 2, '新来的', 1)"
                                  << QStringLiteral("存在下级分类不能删除！");
    QTest::newRow("entry") << "INSERT INTO Quorvane_Pass (Type, Caption, Seq) VALUES (2, '新来的', 1)"
                           << QStringLiteral("存在账号信息不能删除！");
}

void TestCategories::deleteAsksTheFileAgainAfterTheQuestion() {
    QFETCH(QString, meanwhile);
    QFETCH(QString, message);
    Desk desk;
    desk.add(2, 1, QStringLiteral("一"));
    desk.build();
    desk.select(2);
    desk.fake.boxes.whileShown = [&desk, meanwhile] { desk.vault.exec(meanwhile); };
    desk.fake.boxes.queueAnswer(BoxAnswer::Yes);
    desk.del();
    QCOMPARE(desk.fake.boxes.shown.size(), 2);
    verifyBox(desk.fake.boxes.last(), message, QStringLiteral("提示！"), BoxButtons::Ok, BoxIcon::Exclamation);
    QCOMPARE(desk.vault.count(QStringLiteral("Quorvane_Type"), QStringLiteral("ID = 2")), 1);
    QVERIFY(desk.tree->nodeByKey(2) != nullptr);
}

void TestCategories::deleteFailureIsReportedAndTheProgramGoesOn() {
    Desk desk;
    desk.add(2, 1, QStringLiteral("一"));
    desk.build();
    desk.select(2);
    desk.fake.boxes.queueAnswer(BoxAnswer::Yes);
    desk.vault.exec(QStringLiteral("BEGIN IMMEDIATE"));
    desk.del();
    desk.vault.exec(QStringLiteral("ROLLBACK"));
    QCOMPARE(desk.fake.boxes.shown.size(), 2);
    QCOMPARE(desk.fake.boxes.last().title, QStringLiteral("错误-2147467259"));
    QCOMPARE(desk.fake.boxes.last().icon, BoxIcon::Critical);
    QVERIFY(!desk.fake.programEnd.ended());
    QVERIFY(desk.tree->nodeByKey(2) != nullptr);
    QCOMPARE(desk.vault.count(QStringLiteral("Quorvane_Type"), QStringLiteral("ID = 2")), 1);
}

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    // The read-only check renames in a copy of this program that runs without root's rights.
    if (argc == 3 && qstrcmp(argv[1], "--rename-in") == 0) {
        try {
            std::fputs(renameInFolder(QString::fromLocal8Bit(argv[2])).toUtf8().constData(), stdout);
        } catch (const VaultError& error) {
            std::fputs(error.what(), stdout);
        }
        return 0;
    }
    TestCategories test;
    return runGuarded(test, argc, argv);
}
#include "tst_categories.moc"
