// Finding entries (pinyin included) and generating passwords, on a temporary vault; the dialogs are
// driven through the real main window.
#include "Child.h"
#include "FakePlatform.h"
#include "ModalDriver.h"
#include "SuiteGuard.h"
#include "TempVault.h"

#include "app/MainWindow.h"
#include "controls/CategoryTree.h"
#include "controls/CheckListBox.h"
#include "controls/FlatEdit.h"
#include "entries/PasswordGenerator.h"
#include "entries/frmFind.h"
#include "entries/frmGenerate.h"
#include "search/EntryIndex.h"
#include "vault/SecretCipher.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSet>
#include <QTest>
#include <QTreeView>
#include <memory>
#include <stdexcept>

namespace {

struct Window {
    TempVault vault;
    FakePlatform fake;
    Main main{vault.module(), fake.platform, vault.folder()};
};

qint64 addCategory(TempVault& vault, const QString& name, qint64 parent = 1) {
    return vault.addCategory(name, parent);
}

qint64 addEntry(TempVault& vault, qint64 category, const QString& title, const QString& name = {},
                const QString& pass = QStringLiteral("pw"), const QString& www = {}, const QString& remark = {}) {
    return vault.addEntry({category, title, name, pass, www, remark, QStringLiteral("普通账号")});
}

// Keys as a keyboard with an input method delivers them (keyClicks takes Latin-1 only).
void type(QWidget* field, const QString& text) {
    for (const QChar ch : text) {
        QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }
}

} // namespace

class TestFind : public QObject {
    Q_OBJECT

private slots:
    void matching_data();
    void matching();
    void chosenEntryIsShownAsAClickWould_data();
    void chosenEntryIsShownAsAClickWould();
    void generatedPasswords_data();
    void generatedPasswords();
    void generatorGoesIntoThePasswordField_data();
    void generatorGoesIntoThePasswordField();
};

void TestFind::matching_data() {
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("found");

    const QStringList alipay{QStringLiteral("支付宝")};
    const QStringList mixed{QStringLiteral("招商银行ＶＩＳＡ信用卡 Gold")};
    // Titles holding 银行 first, then the entries of the category 网上银行 in the tree's order.
    const QStringList banks{QStringLiteral("银行卡"), mixed[0], QStringLiteral("网上银行U盾"), QStringLiteral("农行"),
                            QStringLiteral("工行")};
    QTest::newRow("initials") << QStringLiteral("zfb") << alipay;
    QTest::newRow("whole syllables") << QStringLiteral("zhifubao") << alipay;
    QTest::newRow("characters") << QStringLiteral("支付") << alipay;
    QTest::newRow("two-letter initial, syllable begun at the end") << QStringLiteral("zhfba") << alipay;
    QTest::newRow("characters and pinyin mixed") << QStringLiteral("支fb") << alipay;
    QTest::newRow("initials, second reading of 行") << QStringLiteral("yh") << banks;
    QTest::newRow("syllables, second reading of 行") << QStringLiteral("yinhang") << banks;
    QTest::newRow("first reading of 行") << QStringLiteral("yinxing") << banks;
    QTest::newRow("no run of the text") << QStringLiteral("zfbyh") << QStringList();
    QTest::newRow("a syllable begun mid-term is no syllable") << QStringLiteral("yihang") << QStringList();
    QTest::newRow("ü typed as v or u") << QStringLiteral("lvse lusetd") << QStringList{QStringLiteral("绿色通道")};

    QTest::newRow("full-width title, half-width query") << QStringLiteral("visa") << mixed;
    QTest::newRow("half-width title, full-width query") << QStringLiteral("ＧＯＬＤ") << mixed;
    QTest::newRow("English then pinyin in one run") << QStringLiteral("VISAxyk") << mixed;
    QTest::newRow("two terms, each anywhere") << QStringLiteral("gold  zsyh") << mixed;
    QTest::newRow("one term of two missing") << QStringLiteral("gold zfb") << QStringList();

    QTest::newRow("never the password") << QStringLiteral("hunter2") << QStringList();
    QTest::newRow("account name, deciphered") << QStringLiteral("wang@") << alipay;
    QTest::newRow("web address") << QStringLiteral("alipay.com") << alipay;
    QTest::newRow("remark, deciphered, by pinyin") << QStringLiteral("mmwt") << QStringList{banks[0]};
    QTest::newRow("category name and the ones below it")
        << QStringLiteral("wsyh")
        << QStringList{QStringLiteral("网上银行U盾"), QStringLiteral("农行"), QStringLiteral("工行")};
    QTest::newRow("not the root's fixed text") << QStringLiteral("全部分类") << QStringList();
    QTest::newRow("not a category the tree does not show") << QStringLiteral("孤儿") << QStringList();
    QTest::newRow("nor its entries") << QStringLiteral("看不见") << QStringList();
}

void TestFind::matching() {
    QFETCH(QString, query);
    QFETCH(QStringList, found);
    TempVault vault;
    const qint64 life = addCategory(vault, QStringLiteral("生活"));
    addEntry(vault, life, QStringLiteral("支付宝"), QStringLiteral("wang@example.com"), QStringLiteral("hunter2"),
             QStringLiteral("https://www.alipay.com"));
    addEntry(vault, life, QStringLiteral("银行卡"), {}, QStringLiteral("pw"), {}, QStringLiteral("密码问题：小学"));
    addEntry(vault, life, QStringLiteral("绿色通道"));
    addEntry(vault, life, QStringLiteral("招商银行ＶＩＳＡ信用卡 Gold"));
    const qint64 online = addCategory(vault, QStringLiteral("网上银行"));
    addEntry(vault, addCategory(vault, QStringLiteral("工商"), online), QStringLiteral("工行"));
    addEntry(vault, online, QStringLiteral("农行"));
    addEntry(vault, life, QStringLiteral("网上银行U盾"));
    addEntry(vault, addCategory(vault, QStringLiteral("孤儿"), 999999), QStringLiteral("看不见"));

    const EntryIndex index(vault.module());
    const auto titlesOf = [&index](const std::vector<int>& entries) {
        QStringList titles;
        for (const int entry : entries) {
            titles << index.title(entry);
        }
        return titles;
    };
    QCOMPARE(titlesOf(index.find(query)), found);
    // Typed one character at a time, each query looks only among what the one before found.
    for (qsizetype typed = 1; typed < query.size(); ++typed) {
        QVERIFY(EntryIndex::narrows(query.left(typed), query) == !query.left(typed).trimmed().isEmpty());
        QVERIFY(!EntryIndex::narrows(query, query.left(typed))); // a character taken back widens
        if (EntryIndex::narrows(query.left(typed), query)) {
            QCOMPARE(titlesOf(index.find(query, index.find(query.left(typed)))), found);
        }
    }
}

void TestFind::chosenEntryIsShownAsAClickWould_data() {
    QTest::addColumn<QString>("focus");   // the control Ctrl+F is pressed in
    QTest::addColumn<QString>("gesture"); // how the dialog ends
    QTest::newRow("Enter") << QStringLiteral("Edit_Caption") << QStringLiteral("enter");
    QTest::newRow("double click") << QStringLiteral("List") << QStringLiteral("double click");
    QTest::newRow("Esc") << QStringLiteral("Tree") << QStringLiteral("escape");
}

void TestFind::chosenEntryIsShownAsAClickWould() {
    QFETCH(QString, focus);
    QFETCH(QString, gesture);
    Window w;
    const qint64 home = addCategory(w.vault, QStringLiteral("家"));
    addEntry(w.vault, home, QStringLiteral("路由器"), QStringLiteral("admin"));
    const qint64 bank = addCategory(w.vault, QStringLiteral("银行"));
    addEntry(w.vault, bank, QStringLiteral("工行"));
    const qint64 wanted = addEntry(w.vault, bank, QStringLiteral("建行"), QStringLiteral("li@ccb"));
    w.main.GJTree();
    w.main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.main));
    auto* tree = child<CategoryTree>(w.main, QStringLiteral("Tree"));
    auto* list = child<CheckListBox>(w.main, QStringLiteral("List"));
    auto* caption = child<FlatEdit>(w.main, QStringLiteral("Edit_Caption"));
    auto* name = child<FlatEdit>(w.main, QStringLiteral("Edit_Name"));
    // Something else is shown before: the router of 家.
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(tree->nodeByKey(home)).center());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
    QCOMPARE(caption->text(), QStringLiteral("路由器"));

    auto ran = std::make_shared<bool>(false);
    whenModal<frmFind>([&, ran](frmFind* dialog) {
        // A failed check leaves the lambda early; the dialog must not be left open behind it.
        const auto closeAnyway = qScopeGuard([dialog] { dialog->close(); });
        auto* field = child<QLineEdit>(dialog, QStringLiteral("Edit_Find"));
        auto* matches = child<QTreeView>(dialog, QStringLiteral("List_Find"));
        type(field, QStringLiteral("yh"));
        QTest::keyClick(field, Qt::Key_Down); // 工行 is first, 建行 second
        QCOMPARE(matches->model()->rowCount(), 2);
        const QModelIndex second = matches->model()->index(1, 0);
        QCOMPARE(matches->currentIndex().row(), 1);
        QCOMPARE(matches->model()->index(1, 1).data().toString(), QStringLiteral("银行"));
        QCOMPARE(matches->model()->index(1, 2).data().toString(), QStringLiteral("li@ccb"));
        *ran = true;
        if (gesture == QStringLiteral("enter")) {
            QTest::keyClick(field, Qt::Key_Return);
        } else if (gesture == QStringLiteral("double click")) {
            // As the window system delivers one: a click, then the double click.
            const QPoint at = matches->visualRect(second).center();
            QTest::mouseClick(matches->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(matches->viewport(), Qt::LeftButton, {}, at);
        } else {
            QTest::keyClick(field, Qt::Key_Escape);
        }
    });
    QApplication::setActiveWindow(&w.main);
    QWidget* focused = child<QWidget>(w.main, focus);
    focused->setEnabled(true);
    focused->setFocus();
    QTest::keyClick(focused, Qt::Key_F, Qt::ControlModifier);
    QVERIFY(*ran);
    QVERIFY(QApplication::activeModalWidget() == nullptr);

    if (gesture == QStringLiteral("escape")) {
        QCOMPARE(tree->selectedNode(), tree->nodeByKey(home));
        QCOMPARE(list->selectedIndex(), 0);
        QCOMPARE(caption->text(), QStringLiteral("路由器"));
    } else {
        QCOMPARE(tree->selectedNode(), tree->nodeByKey(bank));
        QCOMPARE(list->itemCount(), 2);
        QCOMPARE(list->selectedIndex(), 1);
        QCOMPARE(list->itemData(1), wanted);
        QCOMPARE(caption->text(), QStringLiteral("建行"));
        QCOMPARE(name->text(), QStringLiteral("li@ccb"));
    }
    QCOMPARE(w.fake.boxes.shown.size(), 0);
    QCOMPARE(w.fake.programEnd.calls, 0);
}

void TestFind::generatedPasswords_data() {
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("upper");
    QTest::addColumn<bool>("lower");
    QTest::addColumn<bool>("digits");
    QTest::addColumn<bool>("symbols");
    QTest::addColumn<bool>("exclude");
    QTest::addColumn<double>("bits"); // exact strength, or -1: below length x log2(alphabet)
    QTest::addColumn<int>("draws");   // all different; 0 when the rules must be refused
    QTest::newRow("defaults") << 20 << true << true << true << true << true << -1.0 << 10000;
    QTest::newRow("shortest") << 8 << true << true << true << true << false << -1.0 << 10000;
    QTest::newRow("longest") << 128 << true << true << true << true << true << -1.0 << 1000;
    QTest::newRow("digits without 0 and 1") << 8 << false << false << true << false << true << 24.0 << 100;
    QTest::newRow("two classes, each present") << 8 << false << false << true << true << true << -1.0 << 10000;
    QTest::newRow("too short") << 7 << true << true << true << true << true << -1.0 << 0;
    QTest::newRow("too long") << 129 << true << true << true << true << true << -1.0 << 0;
    QTest::newRow("no class") << 20 << false << false << false << false << true << 0.0 << 0;
}

void TestFind::generatedPasswords() {
    QFETCH(int, length);
    QFETCH(bool, upper);
    QFETCH(bool, lower);
    QFETCH(bool, digits);
    QFETCH(bool, symbols);
    QFETCH(bool, exclude);
    QFETCH(double, bits);
    QFETCH(int, draws);
    const PasswordRules rules{length, upper, lower, digits, symbols, exclude};
    if (draws == 0) {
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, PasswordGenerator::generate(rules));
        return;
    }
    const QStringList classes = PasswordGenerator::classesOf(rules);
    const QString alphabet = classes.join(QString());
    for (const QChar ch : QStringLiteral("0O1lI")) {
        QCOMPARE(alphabet.contains(ch), !exclude && (ch.isDigit() ? digits : ch.isUpper() ? upper : lower));
    }
    QSet<QString> seen;
    QSet<QChar> used;
    for (int i = 0; i < draws; ++i) {
        const QString password = PasswordGenerator::generate(rules);
        QCOMPARE(password.size(), length);
        for (const QChar ch : password) {
            QVERIFY2(alphabet.contains(ch), qPrintable(password));
            used.insert(ch);
        }
        for (const QString& characters : classes) {
            QVERIFY2(characters.isEmpty() || std::any_of(password.begin(), password.end(),
                                                         [&](QChar ch) { return characters.contains(ch); }),
                     qPrintable(password));
        }
        seen.insert(password);
    }
    if (draws >= 1000) {
        QCOMPARE(seen.size(), draws);
        // So many characters drawn leave none of the alphabet out, unless the draw never reaches it.
        QCOMPARE(used.size(), alphabet.size());
    }
    const double strength = PasswordGenerator::strengthBits(rules);
    if (bits >= 0) {
        QCOMPARE(strength, bits);
    } else {
        QVERIFY(strength > 0 && strength < length * std::log2(alphabet.size()));
    }
}

void TestFind::generatorGoesIntoThePasswordField_data() {
    QTest::addColumn<bool>("writable");
    QTest::addColumn<QString>("how"); // opened by the context menu or Ctrl+G
    QTest::addColumn<bool>("take");   // 确定 or 取消
    QTest::newRow("menu, taken") << true << QStringLiteral("menu") << true;
    QTest::newRow("Ctrl+G, cancelled") << true << QStringLiteral("ctrl+g") << false;
    QTest::newRow("read-only: no menu entry") << false << QStringLiteral("menu") << false;
    QTest::newRow("read-only: no Ctrl+G") << false << QStringLiteral("ctrl+g") << false;
}

void TestFind::generatorGoesIntoThePasswordField() {
    QFETCH(bool, writable);
    QFETCH(QString, how);
    QFETCH(bool, take);
    Window w;
    const qint64 home = addCategory(w.vault, QStringLiteral("家"));
    addEntry(w.vault, home, QStringLiteral("路由器"), {}, QStringLiteral("old"));
    w.main.GJTree();
    w.main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.main));
    auto* tree = child<CategoryTree>(w.main, QStringLiteral("Tree"));
    auto* list = child<CheckListBox>(w.main, QStringLiteral("List"));
    auto* pass = child<FlatEdit>(w.main, QStringLiteral("Edit_Pass"));
    if (writable) {
        QTest::mouseClick(child<QPushButton>(w.main, QStringLiteral("Button_Read")), Qt::LeftButton);
    }
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(tree->nodeByKey(home)).center());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
    QCOMPARE(pass->text(), QStringLiteral("old"));

    auto offered = std::make_shared<bool>(false);
    auto taken = std::make_shared<QString>();
    whenModal<frmGenerate>([take, taken](frmGenerate* dialog) {
        const auto closeAnyway = qScopeGuard([dialog] { dialog->close(); });
        // Unchecking every class leaves nothing to take.
        const QStringList classes{QStringLiteral("Check_Upper"), QStringLiteral("Check_Lower"),
                                  QStringLiteral("Check_Digits"), QStringLiteral("Check_Symbols")};
        auto* ok = child<QPushButton>(dialog, QStringLiteral("OK"));
        for (const QString& name : classes) {
            child<QCheckBox>(dialog, name)->setChecked(false);
        }
        QVERIFY(!ok->isEnabled());
        child<QCheckBox>(dialog, QStringLiteral("Check_Digits"))->setChecked(true);
        QVERIFY(ok->isEnabled());
        QTest::mouseClick(child<QPushButton>(dialog, QStringLiteral("Button_Again")), Qt::LeftButton);
        *taken = child<QLineEdit>(dialog, QStringLiteral("Edit_Sample"))->text();
        QTest::mouseClick(take ? ok : child<QPushButton>(dialog, QStringLiteral("Cancel")), Qt::LeftButton);
    });
    if (how == QStringLiteral("menu")) {
        QTimer::singleShot(50, [offered] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                for (QAction* action : menu->actions()) {
                    if (action->objectName() == QStringLiteral("GeneratePassword")) {
                        *offered = true;
                        menu->close();
                        action->trigger();
                        return;
                    }
                }
                menu->close();
            }
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), pass->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(pass, &event);
    } else {
        QApplication::setActiveWindow(&w.main);
        pass->setFocus();
        QTest::keyClick(pass, Qt::Key_G, Qt::ControlModifier);
        *offered = !taken->isEmpty();
    }
    QTRY_VERIFY(QApplication::activeModalWidget() == nullptr && QApplication::activePopupWidget() == nullptr);

    QCOMPARE(*offered, writable);
    if (take) {
        QCOMPARE(taken->size(), 20);
        QCOMPARE(pass->text(), *taken);
    } else {
        QCOMPARE(pass->text(), QStringLiteral("old"));
    }
    // Nothing is saved until the user saves.
    QCOMPARE(w.vault.count(QStringLiteral("Quorvane_Pass"), QStringLiteral("Pass = '") +
                                                                EncodeSecret(QStringLiteral("old"), Module::SecretKey) +
                                                                QStringLiteral("'")),
             1);
    QCOMPARE(w.fake.programEnd.calls, 0);
}

VAULTRY_TEST_MAIN(TestFind)
#include "tst_find.moc"
