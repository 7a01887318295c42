// The entry side of the main window, driven through the real window on a temporary vault.
#include "Child.h"
#include "FakePlatform.h"
#include "ModalDriver.h"
#include "SuiteGuard.h"
#include "TempVault.h"

#include "app/MainWindow.h"
#include "controls/CategoryTree.h"
#include "controls/CheckListBox.h"
#include "controls/FlatEdit.h"
#include "controls/FlatMemo.h"
#include "controls/SkinComboBox.h"
#include "vault/SecretCipher.h"

#include <QAction>
#include <QDialog>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QTextCursor>
#include <functional>
#include <memory>

namespace {

const QString Key = QStringLiteral("Tavernix@#");
const QString Title = QStringLiteral("提示！");
const QColor White(255, 255, 255);
const QColor Grey(224, 224, 224);

struct Window {
    TempVault vault;
    FakePlatform fake;
    Main main{vault.module(), fake.platform, vault.folder()};
};

struct StoredEntry {
    qint64 type = 1;
    QString caption = {};
    QString name = {};
    QString pass = {};
    QString www = {};
    QString remark = {};
    QString sort = QStringLiteral("普通账号");
    int seq = 1;
};

} // namespace

class TestEntries : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void savingNewEntryEndToEnd();
    void listFollowsSeqThenIdAndOnlyTheChosenCategory();
    void allowEditFollowsModeSelectionAndNewEntry();
    void readToggleKeepsPaneAndKind();
    void choosingCategoryOrEntryDiscardsNewEntry();
    void saveRefusalsComeInOrderAndWriteNothing();
    void saveAnsweredNoChangesNothing();
    void saveOfExistingEntryRewritesAllColumnsButType();
    void saveOfVanishedEntryReportsAndWritesNothing();
    void cancelRestoresOrKeepsThePane();
    void deleteRefusesWithoutWriteModeOrSelection();
    void deleteRemovesTickedItemsOnly();
    void copyPutsFieldTextOnClipboardAsSecret();
    void followHandsAddressToShellAsTyped();
    void viewTogglesMaskAndSurvivesReloads();
    void unusualSecretsComeBackUnchanged();
    void entriesWithKeysBeyond16And32BitsWork();
    void damagedFieldIsReportedNotFatal_data();
    void damagedFieldIsReportedNotFatal();
    void listHighlightAndPaneStayInStep_data();
    void listHighlightAndPaneStayInStep();
    void treeHighlightAndListStayInStep_data();
    void treeHighlightAndListStayInStep();
    void tickBoxClicksChooseAndDeleteTakesEveryTicked();
    void untouchedFieldsAreWrittenBackExactly_data();
    void untouchedFieldsAreWrittenBackExactly();
    void saveWritesOnlyOntoTheRowAsShown_data();
    void saveWritesOnlyOntoTheRowAsShown();
    void untouchedStoredFormsSurviveASave_data();
    void untouchedStoredFormsSurviveASave();
    void engineFailuresInSaveAreTrappedElsewhereFatal();
    void menuShortcutsGoBeforeTheFocusedControl();

private:
    // Finds a control of the main window by its object name.
    template <typename T> T* control(const char* name) const { return child<T>(m_w->main, QLatin1String(name)); }
    QPushButton* button(const char* name) const { return control<QPushButton>(name); }
    CheckListBox* list() const { return control<CheckListBox>("List"); }
    FlatEdit* edit(const char* name) const { return control<FlatEdit>(name); }
    FlatMemo* remark() const { return control<FlatMemo>("Edit_Remark"); }
    SkinComboBox* kinds() const { return control<SkinComboBox>("Combo_Type"); }
    EntryPane& pane() const { return m_w->main.entryPane(); }
    EntryCommands& commands() const { return m_w->main.entryCommands(); }
    FakeMessageBoxes& boxes() const { return m_w->fake.boxes; }
    TempVault& vault() const { return m_w->vault; }

    qint64 addCategory(const QString& name, qint64 parent = 1);
    qint64 addEntry(const StoredEntry& entry, qint64 id = 0);
    QVariant column(qint64 id, const QString& name) const;

    void click(const char* name) { QTest::mouseClick(button(name), Qt::LeftButton); }
    // Keys as a keyboard with an input method delivers them (keyClicks takes Latin-1 only).
    static void type(QWidget* field, const QString& text) {
        for (const QChar ch : text) {
            QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, QString(ch), Qt::NoModifier);
        }
    }
    void chooseCategory(qint64 id);
    void chooseEntry(int row);
    void enterWriteMode() {
        click("Button_Read");
        QVERIFY(pane().writeMode());
    }
    QStringList paneTexts() const;
    // Every entry row as the file holds it, Nulls and types told apart.
    QString storedRows() const {
        return m_w->vault
            .scalar(QStringLiteral("select group_concat(quote(ID) || quote(Type) || quote(Caption) || quote(Name) || "
                                   "quote(Pass) || quote(Www) || quote(Remark) || quote(Sort) || quote(Seq), ';') "
                                   "from (select * from Quorvane_Pass order by ID)"))
            .toString();
    }
    QList<qint64> listedKeys() const;

    std::unique_ptr<Window> m_w;
};

void TestEntries::init() {
    m_w = std::make_unique<Window>();
    m_w->main.GJTree();
    m_w->main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&m_w->main));
}

void TestEntries::cleanup() {
    // No handler may have ended the program behind a test's back.
    QCOMPARE(m_w->fake.programEnd.calls, 0);
    m_w.reset();
}

qint64 TestEntries::addCategory(const QString& name, qint64 parent) {
    const qint64 id = vault().addCategory(name, parent);
    m_w->main.GJTree();
    return id;
}

qint64 TestEntries::addEntry(const StoredEntry& e, qint64 id) {
    return vault().addEntry({e.type, e.caption, e.name, e.pass, e.www, e.remark, e.sort, e.seq}, id);
}

QVariant TestEntries::column(qint64 id, const QString& name) const {
    return m_w->vault.scalar(QStringLiteral("select %1 from Quorvane_Pass where ID = %2").arg(name).arg(id));
}

// A real click on the node, so the tree's own signal and the window's wiring are exercised.
void TestEntries::chooseCategory(qint64 id) {
    auto* tree = control<CategoryTree>("Tree");
    QTreeWidgetItem* node = tree->nodeByKey(id);
    QVERIFY(node != nullptr);
    tree->scrollToItem(node);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(node).center());
    QCOMPARE(tree->selectedNode(), node);
}

void TestEntries::chooseEntry(int row) {
    CheckListBox* entries = list();
    QListWidgetItem* item = entries->item(row);
    QVERIFY(item != nullptr);
    QTest::mouseClick(entries->viewport(), Qt::LeftButton, {}, entries->visualItemRect(item).center());
    QCOMPARE(entries->selectedIndex(), row);
}

QStringList TestEntries::paneTexts() const {
    return {edit("Edit_Caption")->text(), edit("Edit_Name")->text(), edit("Edit_Pass")->text(),
            edit("Edit_Www")->text(),     remark()->text(),          kinds()->currentText()};
}

QList<qint64> TestEntries::listedKeys() const {
    QList<qint64> keys;
    for (int i = 0; i < list()->itemCount(); ++i) {
        keys << list()->itemData(i);
    }
    return keys;
}

void TestEntries::savingNewEntryEndToEnd() {
    const qint64 web = addCategory(QStringLiteral("网站"));
    const qint64 older = addEntry({web, QStringLiteral("旧的"), {}, QStringLiteral("x")});

    click("Button_Read");
    QCOMPARE(button("Button_Read")->text(), QStringLiteral("可写(&W)"));
    QVERIFY(button("Button_New")->isVisible());
    QVERIFY(button("Button_Del")->isVisible());

    chooseCategory(web);
    QCOMPARE(listedKeys(), QList<qint64>{older});

    click("Button_New");
    QVERIFY(pane().addingNew());
    QVERIFY(button("Button_Save")->isEnabled());
    type(edit("Edit_Caption"), QStringLiteral("邮箱"));
    type(edit("Edit_Pass"), QStringLiteral("s3cret'pw"));
    kinds()->setCurrentIndex(2);
    remark()->setText(QStringLiteral("备注\n第二行"));

    boxes().queueAnswer(BoxAnswer::Yes);
    click("Button_Save");

    QCOMPARE(boxes().shown.size(), 2);
    const RecordedBox question = boxes().shown.at(0);
    QCOMPARE(question.text, QStringLiteral("是否真的要保存信息？"));
    QCOMPARE(question.title, Title);
    QCOMPARE(question.buttons, BoxButtons::YesNo);
    QCOMPARE(question.icon, BoxIcon::Question);
    QCOMPARE(boxes().last().text, QStringLiteral("保存信息完成！"));
    QCOMPARE(boxes().last().icon, BoxIcon::Information);
    QCOMPARE(boxes().last().buttons, BoxButtons::Ok);

    QCOMPARE(vault().count(QStringLiteral("Quorvane_Pass")), 2);
    const qint64 id = vault().scalar(QStringLiteral("select max(ID) from Quorvane_Pass")).toLongLong();
    QVERIFY(id > older);
    QCOMPARE(column(id, QStringLiteral("Type")).toLongLong(), web);
    QCOMPARE(column(id, QStringLiteral("Caption")).toString(), QStringLiteral("邮箱"));
    QCOMPARE(column(id, QStringLiteral("Name")).toString(), QString());
    QCOMPARE(column(id, QStringLiteral("Pass")).toString(), EncodeSecret(QStringLiteral("s3cret'pw"), Key));
    QVERIFY(column(id, QStringLiteral("Pass")).toString() != QStringLiteral("s3cret'pw"));
    QCOMPARE(column(id, QStringLiteral("Www")).toString(), QString());
    QCOMPARE(column(id, QStringLiteral("Remark")).toString(), EncodeSecret(QStringLiteral("备注\n第二行"), Key));
    QCOMPARE(column(id, QStringLiteral("Sort")).toString(), QStringLiteral("网络账号"));
    QCOMPARE(column(id, QStringLiteral("Seq")).toInt(), 1);
    QVERIFY(!column(id, QStringLiteral("Name")).isNull());

    QCOMPARE(listedKeys(), (QList<qint64>{older, id}));
    QCOMPARE(list()->item(1)->text(), QStringLiteral("邮箱"));
    QCOMPARE(list()->selectedIndex(), -1);
    QCOMPARE(paneTexts(), (QStringList{{}, {}, {}, {}, {}, QStringLiteral("普通账号")}));
    QVERIFY(!pane().addingNew());
    QVERIFY(!button("Button_Save")->isEnabled());
    QVERIFY(!button("Button_Cancel")->isEnabled());
}

void TestEntries::listFollowsSeqThenIdAndOnlyTheChosenCategory() {
    const qint64 mail = addCategory(QStringLiteral("邮件"));
    const qint64 child = addCategory(QStringLiteral("子类"), mail);
    const qint64 late = addEntry({mail, QStringLiteral("后"), {}, QStringLiteral("p"), {}, {}, {}, 2});
    const qint64 first = addEntry({mail, QStringLiteral("先"), {}, QStringLiteral("p")});
    const qint64 second = addEntry({mail, QStringLiteral("次"), {}, QStringLiteral("p")});
    const qint64 inRoot = addEntry({1, QStringLiteral("根下"), {}, QStringLiteral("p")});
    addEntry({child, QStringLiteral("子类下"), {}, QStringLiteral("p")});

    chooseCategory(mail);
    QCOMPARE(listedKeys(), (QList<qint64>{first, second, late}));
    QCOMPARE(list()->item(0)->text(), QStringLiteral("先"));
    QCOMPARE(list()->selectedIndex(), -1);
    for (int i = 0; i < list()->itemCount(); ++i) {
        QVERIFY(!list()->isTicked(i));
    }

    // The root lists only what is filed directly under it.
    chooseCategory(1);
    QCOMPARE(listedKeys(), QList<qint64>{inRoot});

    const qint64 empty = addCategory(QStringLiteral("空"));
    enterWriteMode();
    chooseCategory(empty);
    QCOMPARE(list()->itemCount(), 0);
    QVERIFY(!button("Button_Save")->isEnabled());
    QVERIFY(!button("Button_Cancel")->isEnabled());
}

void TestEntries::allowEditFollowsModeSelectionAndNewEntry() {
    const qint64 cat = addCategory(QStringLiteral("类"));
    addEntry({cat, QStringLiteral("一"), QStringLiteral("user"), QStringLiteral("pw")});
    const auto fields = [this] {
        return QList<QWidget*>{edit("Edit_Caption"), edit("Edit_Name"), edit("Edit_Pass"),
                               edit("Edit_Www"),     remark(),          kinds()};
    };
    const auto expectPane = [&](bool enabled, const QColor& back, bool buttons) {
        for (QWidget* field : fields()) {
            QCOMPARE(field->isEnabled(), enabled);
        }
        for (FlatEdit* field : {edit("Edit_Caption"), edit("Edit_Name"), edit("Edit_Pass"), edit("Edit_Www")}) {
            QCOMPARE(field->backColor(), back);
        }
        QCOMPARE(remark()->backColor(), back);
        QCOMPARE(kinds()->backColor(), back);
        QCOMPARE(button("Button_Save")->isEnabled(), buttons);
        QCOMPARE(button("Button_Cancel")->isEnabled(), buttons);
        QCOMPARE(kinds()->count(), 3);
        QCOMPARE(kinds()->itemText(0), QStringLiteral("普通账号"));
        QCOMPARE(kinds()->itemText(1), QStringLiteral("银行账号"));
        QCOMPARE(kinds()->itemText(2), QStringLiteral("网络账号"));
    };

    // The window opens grey, with an empty type box.
    QCOMPARE(edit("Edit_Caption")->backColor(), Grey);
    QCOMPARE(kinds()->count(), 0);
    QCOMPARE(button("Button_Read")->text(), QStringLiteral("只读(&R)"));
    QVERIFY(!button("Button_New")->isVisible());

    chooseCategory(cat); // read-only, nothing selected
    expectPane(false, Grey, false);
    chooseEntry(0); // read-only, selected
    expectPane(false, Grey, false);
    QCOMPARE(edit("Edit_Pass")->text(), QStringLiteral("pw"));

    enterWriteMode(); // writable, selected
    expectPane(true, White, true);
    chooseCategory(cat); // writable, nothing selected
    expectPane(true, White, false);
    click("Button_New"); // writable, new entry
    expectPane(true, White, true);

    // A click on the list while nothing is selected changes nothing, not even the buttons.
    pane().setAddingNew(false);
    emit list()->clicked();
    expectPane(true, White, true);
    QVERIFY(boxes().shown.isEmpty());
}

void TestEntries::readToggleKeepsPaneAndKind() {
    const qint64 cat = addCategory(QStringLiteral("银行"));
    addEntry({cat, QStringLiteral("卡"), QStringLiteral("6222"), QStringLiteral("1234"), QStringLiteral("bank.cn"),
              QStringLiteral("柜台"), QStringLiteral("银行账号")});
    enterWriteMode();
    chooseCategory(cat);
    chooseEntry(0);
    const QStringList shown{QStringLiteral("卡"),      QStringLiteral("6222"), QStringLiteral("1234"),
                            QStringLiteral("bank.cn"), QStringLiteral("柜台"), QStringLiteral("银行账号")};
    QCOMPARE(paneTexts(), shown);

    click("Button_Read");
    QCOMPARE(button("Button_Read")->text(), QStringLiteral("只读(&R)"));
    QVERIFY(!button("Button_New")->isVisible());
    QVERIFY(!button("Button_Del")->isVisible());
    QVERIFY(!edit("Edit_Caption")->isEnabled());
    QCOMPARE(paneTexts(), shown);

    click("Button_Read");
    QCOMPARE(paneTexts(), shown);
    QVERIFY(edit("Edit_Caption")->isEnabled());
}

void TestEntries::choosingCategoryOrEntryDiscardsNewEntry() {
    const qint64 cat = addCategory(QStringLiteral("类"));
    enterWriteMode();
    click("Button_New");
    edit("Edit_Caption")->setText(QStringLiteral("未保存"));
    chooseCategory(cat);
    QVERIFY(!pane().addingNew());
    QCOMPARE(edit("Edit_Caption")->text(), QString());
    // AllowEdit ran before the flag was cleared: the buttons stay as the new entry had them.
    QVERIFY(button("Button_Save")->isEnabled());
    QVERIFY(button("Button_Cancel")->isEnabled());

    // Choosing an entry drops the new one too: the next save updates that entry, it adds no row.
    const qint64 id = addEntry({cat, QStringLiteral("有"), {}, QStringLiteral("p")});
    chooseCategory(cat);
    click("Button_New");
    chooseEntry(0);
    QVERIFY(!pane().addingNew());
    edit("Edit_Caption")->setText(QStringLiteral("改过"));
    boxes().queueAnswer(BoxAnswer::Yes);
    click("Button_Save");
    QCOMPARE(vault().count(QStringLiteral("Quorvane_Pass")), 1);
    QCOMPARE(column(id, QStringLiteral("Caption")).toString(), QStringLiteral("改过"));
}

void TestEntries::saveRefusalsComeInOrderAndWriteNothing() {
    const qint64 cat = addCategory(QStringLiteral("类"));
    addEntry({cat, QStringLiteral("有"), {}, QStringLiteral("p")});
    enterWriteMode();
    const auto refusal = [this](const QString& text, BoxIcon icon) {
        boxes().shown.clear();
        click("Button_Save");
        QCOMPARE(boxes().texts(), QStringList{text});
        QCOMPARE(boxes().last().icon, icon);
        QCOMPARE(boxes().last().title, Title);
        QCOMPARE(vault().count(QStringLiteral("Quorvane_Pass")), 1);
    };

    // Everything missing: only the category is asked for, even for a new entry.
    click("Button_New");
    refusal(QStringLiteral("请选择一个分类！"), BoxIcon::Exclamation);

    chooseCategory(cat); // drops the new entry, selects nothing
    refusal(QStringLiteral("请选择一个需要编辑的内容！"), BoxIcon::Information);

    click("Button_New");
    refusal(QStringLiteral("请输入标题！"), BoxIcon::Information);
    edit("Edit_Caption")->setText(QStringLiteral("标题"));
    edit("Edit_Name")->setText(QStringLiteral("user"));
    refusal(QStringLiteral("请输入密码！"), BoxIcon::Information);
    QVERIFY(pane().addingNew());
    QCOMPARE(edit("Edit_Caption")->text(), QStringLiteral("标题"));
}

void TestEntries::saveAnsweredNoChangesNothing() {
    const qint64 cat = addCategory(QStringLiteral("类"));
    enterWriteMode();
    chooseCategory(cat);
    click("Button_New");
    edit("Edit_Caption")->setText(QStringLiteral("标题"));
    edit("Edit_Pass")->setText(QStringLiteral("pw"));
    boxes().queueAnswer(BoxAnswer::No);
    click("Button_Save");
    QCOMPARE(boxes().texts(), QStringList{QStringLiteral("是否真的要保存信息？")});
    QCOMPARE(vault().count(QStringLiteral("Quorvane_Pass")), 0);
    QVERIFY(pane().addingNew());
    QCOMPARE(edit("Edit_Caption")->text(), QStringLiteral("标题"));
    QVERIFY(button("Button_Save")->isEnabled());
}

void TestEntries::saveOfExistingEntryRewritesAllColumnsButType() {
    const qint64 cat = addCategory(QStringLiteral("类"));
    const qint64 other = addCategory(QStringLiteral("另一类"));
    const qint64 id = addEntry({cat, QStringLiteral("旧"), QStringLiteral("u"), QStringLiteral("p"),
                                QStringLiteral("w"), QStringLiteral("r"), QStringLiteral("银行账号"), 7});
    const qint64 untouched = addEntry({cat, QStringLiteral("不动"), QStringLiteral("u2"), QStringLiteral("p2")});
    enterWriteMode();
    chooseCategory(cat);
    QCOMPARE(listedKeys(), (QList<qint64>{untouched, id})); // Seq 7 lists last
    chooseEntry(1);

    // The tree's selection at the moment of saving does not move the entry.
    control<CategoryTree>("Tree")->setCurrentItem(control<CategoryTree>("Tree")->nodeByKey(other));
    edit("Edit_Caption")->setText(QStringLiteral("新"));
    edit("Edit_Name")->setText(QString());
    edit("Edit_Pass")->setText(QStringLiteral("新密码"));
    kinds()->setCurrentIndex(2);
    boxes().queueAnswer(BoxAnswer::Yes);
    click("Button_Save");

    QCOMPARE(boxes().last().text, QStringLiteral("保存信息完成！"));
    QCOMPARE(vault().count(QStringLiteral("Quorvane_Pass")), 2);
    QCOMPARE(column(id, QStringLiteral("Type")).toLongLong(), cat);
    QCOMPARE(column(id, QStringLiteral("Caption")).toString(), QStringLiteral("新"));
    QCOMPARE(column(id, QStringLiteral("Name")).toString(), QString());
    QCOMPARE(column(id, QStringLiteral("Pass")).toString(), EncodeSecret(QStringLiteral("新密码"), Key));
    QCOMPARE(column(id, QStringLiteral("Www")).toString(), QStringLiteral("w"));
    QCOMPARE(column(id, QStringLiteral("Remark")).toString(), EncodeSecret(QStringLiteral("r"), Key));
    QCOMPARE(column(id, QStringLiteral("Sort")).toString(), QStringLiteral("网络账号"));
    QCOMPARE(column(id, QStringLiteral("Seq")).toInt(), 1);
    QCOMPARE(column(untouched, QStringLiteral("Caption")).toString(), QStringLiteral("不动"));
    // The list reloaded for the node selected at the time of saving.
    QCOMPARE(list()->itemCount(), 0);
}

void TestEntries::saveOfVanishedEntryReportsAndWritesNothing() {
    const qint64 cat = addCategory(QStringLiteral("类"));
    const qint64 id = addEntry({cat, QStringLiteral("将消失"), {}, QStringLiteral("p")});
    enterWriteMode();
    chooseCategory(cat);
    chooseEntry(0);
    vault().exec(QStringLiteral("delete from Quorvane_Pass where ID = ?"), {id});
    edit("Edit_Caption")->setText(QStringLiteral("改"));
    boxes().queueAnswer(BoxAnswer::Yes);
    click("Button_Save");

    QCOMPARE(boxes().shown.size(), 2);
    QCOMPARE(boxes().last().title, QStringLiteral("错误3021"));
    QCOMPARE(boxes().last().icon, BoxIcon::Critical);
    QCOMPARE(vault().count(QStringLiteral("Quorvane_Pass")), 0);
    // The handler ended at the error: no reload, the edit is still there.
    QCOMPARE(list()->itemCount(), 1);
    QCOMPARE(edit("Edit_Caption")->text(), QStringLiteral("改"));
}

void TestEntries::cancelRestoresOrKeepsThePane() {
    const qint64 cat = addCategory(QStringLiteral("类"));
    addEntry({cat, QStringLiteral("存"), QStringLiteral("u"), QStringLiteral("p"), {}, {}, QStringLiteral("银行账号")});
    enterWriteMode();
    chooseCategory(cat);

    // A new entry with nothing selected: the typed text stays, but nothing can be saved.
    click("Button_New");
    edit("Edit_Caption")->setText(QStringLiteral("草稿"));
    click("Button_Cancel");
    QVERIFY(!pane().addingNew());
    QCOMPARE(edit("Edit_Caption")->text(), QStringLiteral("草稿"));
    QVERIFY(!button("Button_Save")->isEnabled());
    QVERIFY(!button("Button_Cancel")->isEnabled());

    // An edited entry, and a new entry over a selected one: the stored entry comes back.
    const QStringList stored{QStringLiteral("存"),      QStringLiteral("u"), QStringLiteral("p"), {}, {},
                             QStringLiteral("银行账号")};
    chooseEntry(0);
    edit("Edit_Caption")->setText(QStringLiteral("乱改"));
    edit("Edit_Pass")->setText(QStringLiteral("x"));
    kinds()->setCurrentIndex(0);
    click("Button_Cancel");
    QCOMPARE(paneTexts(), stored);

    click("Button_New");
    QCOMPARE(edit("Edit_Caption")->text(), QString());
    click("Button_Cancel");
    QVERIFY(!pane().addingNew());
    QCOMPARE(paneTexts(), stored);
    QVERIFY(button("Button_Save")->isEnabled());
}

void TestEntries::deleteRefusesWithoutWriteModeOrSelection() {
    const qint64 cat = addCategory(QStringLiteral("类"));
    addEntry({cat, QStringLiteral("一"), {}, QStringLiteral("p")});
    addEntry({cat, QStringLiteral("二"), {}, QStringLiteral("p")});
    chooseCategory(cat);
    chooseEntry(0);
    list()->setTicked(0, true);

    // The buttons are hidden in read-only mode; their handlers still refuse.
    commands().New();
    QVERIFY(!pane().addingNew());
    QCOMPARE(boxes().texts(), QStringList{QStringLiteral("只读模式不能新建！")});
    QCOMPARE(boxes().last().icon, BoxIcon::Exclamation);
    boxes().shown.clear();
    commands().Del();
    QCOMPARE(boxes().texts(), QStringList{QStringLiteral("只读模式不能删除！")});
    QCOMPARE(boxes().last().icon, BoxIcon::Exclamation);
    QCOMPARE(vault().count(QStringLiteral("Quorvane_Pass")), 2);

    enterWriteMode();
    chooseCategory(cat);
    list()->setTicked(0, true);
    list()->setTicked(1, true);
    boxes().shown.clear();
    click("Button_Del");
    QCOMPARE(boxes().texts(), QStringList{QStringLiteral("没有勾选要删除的信息！")});
    QCOMPARE(boxes().last().icon, BoxIcon::Exclamation);
    QCOMPARE(vault().count(QStringLiteral("Quorvane_Pass")), 2);
    QCOMPARE(list()->itemCount(), 2);

    // Selected but nothing ticked: nothing deleted, no message, the pane emptied.
    chooseCategory(cat);
    chooseEntry(1);
    QCOMPARE(edit("Edit_Caption")->text(), QStringLiteral("二"));
    boxes().shown.clear();
    click("Button_Del");
    QVERIFY(boxes().shown.isEmpty());
    QCOMPARE(vault().count(QStringLiteral("Quorvane_Pass")), 2);
    QCOMPARE(list()->itemCount(), 2);
    QCOMPARE(edit("Edit_Caption")->text(), QString());
}

void TestEntries::deleteRemovesTickedItemsOnly() {
    const qint64 cat = addCategory(QStringLiteral("类"));
    const qint64 a = addEntry({cat, QStringLiteral("甲"), {}, QStringLiteral("p")});
    const qint64 b = addEntry({cat, QStringLiteral("乙"), {}, QStringLiteral("p")});
    const qint64 c = addEntry({cat, QStringLiteral("丙"), {}, QStringLiteral("p")});
    const qint64 elsewhere = addEntry({1, QStringLiteral("别处"), {}, QStringLiteral("p")});
    enterWriteMode();
    chooseCategory(cat);
    chooseEntry(1); // highlighted, not ticked: it stays
    list()->setTicked(0, true);
    list()->setTicked(2, true);
    click("Button_Del");

    QVERIFY(boxes().shown.isEmpty());
    QCOMPARE(vault().count(QStringLiteral("Quorvane_Pass"), QStringLiteral("ID in (%1, %2)").arg(a).arg(c)), 0);
    QCOMPARE(vault().count(QStringLiteral("Quorvane_Pass")), 2);
    QCOMPARE(column(b, QStringLiteral("Caption")).toString(), QStringLiteral("乙"));
    QCOMPARE(column(elsewhere, QStringLiteral("Caption")).toString(), QStringLiteral("别处"));
    QCOMPARE(listedKeys(), QList<qint64>{b});
    QCOMPARE(list()->item(0)->text(), QStringLiteral("乙"));
    QCOMPARE(edit("Edit_Caption")->text(), QString());

    // Neighbours ticked at the end of the list: removing one must not make the loop skip the other.
    addEntry({cat, QStringLiteral("丁"), {}, QStringLiteral("p")});
    addEntry({cat, QStringLiteral("戊"), {}, QStringLiteral("p")});
    chooseCategory(cat);
    chooseEntry(0);
    list()->setTicked(1, true);
    list()->setTicked(2, true);
    click("Button_Del");
    QCOMPARE(listedKeys(), QList<qint64>{b});
    QCOMPARE(vault().count(QStringLiteral("Quorvane_Pass")), 2);
}

void TestEntries::copyPutsFieldTextOnClipboardAsSecret() {
    FakeClipboard& clipboard = m_w->fake.clipboard;
    // From an empty field: an empty text, and still the message.
    click("Button_Copy1");
    QCOMPARE(clipboard.clears, 1);
    QCOMPARE(clipboard.sets, 1);
    QCOMPARE(clipboard.text, QString());
    QCOMPARE(boxes().texts(), QStringList{QStringLiteral("已经复制了帐户名称！")});
    QCOMPARE(boxes().last().icon, BoxIcon::Information);
    QCOMPARE(boxes().last().title, Title);

    // The password goes in clear although the field masks it, and only after the old text was cleared.
    const qint64 cat = addCategory(QStringLiteral("类"));
    addEntry({cat, QStringLiteral("一"), QStringLiteral("张三"), QStringLiteral("密码 pw")});
    chooseCategory(cat);
    chooseEntry(0);
    QCOMPARE(edit("Edit_Pass")->passwordChar(), QStringLiteral("*"));
    click("Button_Copy2");
    QCOMPARE(clipboard.clears, 2);
    QCOMPARE(clipboard.text, QStringLiteral("密码 pw"));
    QCOMPARE(boxes().last().text, QStringLiteral("已经复制了密码！"));
    QCOMPARE(boxes().last().icon, BoxIcon::Information);
    click("Button_Copy1");
    QCOMPARE(clipboard.text, QStringLiteral("张三"));

    // Copied out of the shown field with the keys, the password goes the same way.
    enterWriteMode();
    click("Button_View");
    edit("Edit_Pass")->selectAll();
    QTest::keySequence(edit("Edit_Pass"), QKeySequence::Copy);
    QCOMPARE(clipboard.sets, 4);
    QCOMPARE(clipboard.text, QStringLiteral("密码 pw"));
}

void TestEntries::followHandsAddressToShellAsTyped() {
    FakeShell& shell = m_w->fake.shell;
    click("Button_Follow");
    QCOMPARE(boxes().texts(), QStringList{QStringLiteral("没有需要打开网址！")});
    QCOMPARE(boxes().last().icon, BoxIcon::Information);
    QVERIFY(shell.opened.isEmpty());

    // Read-only mode: the field cannot be typed in, but what it shows can be followed.
    const QStringList addresses{QStringLiteral("www.example.com"), QStringLiteral("https://例子.中国/路径?q=a b"),
                                QStringLiteral(" mail.qq.com ")};
    shell.result = false; // a refusing desktop is not reported either
    for (const QString& address : addresses) {
        edit("Edit_Www")->setText(address);
        click("Button_Follow");
    }
    QCOMPARE(shell.opened, addresses);
    QCOMPARE(boxes().shown.size(), 1);
}

void TestEntries::viewTogglesMaskAndSurvivesReloads() {
    const qint64 cat = addCategory(QStringLiteral("类"));
    addEntry({cat, QStringLiteral("一"), {}, QStringLiteral("p")});
    FlatEdit* pass = edit("Edit_Pass");
    QCOMPARE(pass->passwordChar(), QStringLiteral("*"));
    click("Button_View");
    QCOMPARE(pass->passwordChar(), QString());
    QCOMPARE(pass->echoMode(), QLineEdit::Normal);

    chooseCategory(cat);
    chooseEntry(0);
    enterWriteMode();
    click("Button_New");
    QCOMPARE(pass->passwordChar(), QString());

    click("Button_View");
    QCOMPARE(pass->passwordChar(), QStringLiteral("*"));
    QCOMPARE(pass->echoMode(), QLineEdit::Password);
}

void TestEntries::unusualSecretsComeBackUnchanged() {
    const qint64 cat = addCategory(QStringLiteral("类"));
    QString withNul = QStringLiteral("a");
    withNul += QChar(0);
    withNul += QStringLiteral("b");
    struct Secrets {
        QString name, pass, remark;
    };
    const QList<Secrets> cases{
        {QStringLiteral("张三丰"), QStringLiteral("密码€100"), QStringLiteral("多行\n备注，含全角。")},
        {QStringLiteral("🔑 key"), QStringLiteral("emoji🙂pw"), QStringLiteral("Ünïcödé ✓ ก")},
        // Each character meets its own key character: the stored form is all U+0000.
        {withNul, QStringLiteral("Tavernix@#"), QStringLiteral("Tavernix@#Tavernix@#")},
    };
    enterWriteMode();
    chooseCategory(cat);
    for (const Secrets& s : cases) {
        click("Button_New");
        edit("Edit_Caption")->setText(s.pass);
        edit("Edit_Name")->setText(s.name);
        edit("Edit_Pass")->setText(s.pass);
        remark()->setText(s.remark);
        QCOMPARE(edit("Edit_Name")->text(), s.name); // the field itself keeps what it is given
        boxes().queueAnswer(BoxAnswer::Yes);
        click("Button_Save");
        QCOMPARE(boxes().last().text, QStringLiteral("保存信息完成！"));
    }
    QCOMPARE(vault().scalar(QStringLiteral("select Pass from Quorvane_Pass where Caption = 'Tavernix@#'")).toString(),
             QString(10, QChar(0)));

    QCOMPARE(list()->itemCount(), cases.size());
    for (int i = 0; i < cases.size(); ++i) {
        chooseEntry(i);
        QCOMPARE(edit("Edit_Name")->text(), cases[i].name);
        QCOMPARE(edit("Edit_Pass")->text(), cases[i].pass);
        QCOMPARE(remark()->text(), cases[i].remark);
    }
}

void TestEntries::entriesWithKeysBeyond16And32BitsWork() {
    const qint64 cat = addCategory(QStringLiteral("类"));
    const qint64 wide = 40000;
    const qint64 huge = (qint64(1) << 32) + 40000; // its low 16 and 32 bits both point elsewhere
    addEntry({cat, QStringLiteral("四万"), QStringLiteral("u1"), QStringLiteral("p1")}, wide);
    addEntry({cat, QStringLiteral("很大"), QStringLiteral("u2"), QStringLiteral("p2")}, huge);
    enterWriteMode();
    chooseCategory(cat);
    QCOMPARE(listedKeys(), (QList<qint64>{wide, huge}));

    for (int row = 0; row < 2; ++row) {
        const qint64 id = listedKeys().at(row);
        chooseEntry(row);
        QCOMPARE(edit("Edit_Name")->text(), QStringLiteral("u%1").arg(row + 1));
        edit("Edit_Pass")->setText(QStringLiteral("新%1").arg(row));
        boxes().queueAnswer(BoxAnswer::Yes);
        click("Button_Save");
        QCOMPARE(boxes().last().text, QStringLiteral("保存信息完成！"));
        QCOMPARE(column(id, QStringLiteral("Pass")).toString(), EncodeSecret(QStringLiteral("新%1").arg(row), Key));
    }
    QCOMPARE(vault().count(QStringLiteral("Quorvane_Pass")), 2);

    chooseCategory(cat);
    chooseEntry(0);
    list()->setTicked(1, true);
    click("Button_Del");
    QCOMPARE(vault().count(QStringLiteral("Quorvane_Pass"), QStringLiteral("ID = %1").arg(huge)), 0);
    QCOMPARE(listedKeys(), QList<qint64>{wide});
}

void TestEntries::damagedFieldIsReportedNotFatal_data() {
    QTest::addColumn<QString>("damagedColumn");
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<int>("errorNumber");
    // Thai has no code in code page 936: no encoding writes it into a stored form.
    QTest::newRow("undecodable Pass") << "Pass" << QVariant(QStringLiteral("กข")) << 13;
    // Nulls, as another program (or an old file brought in) may leave them.
    for (const char* column : {"Name", "Pass", "Remark", "Caption", "Www", "Sort"}) {
        QTest::newRow(qPrintable(QStringLiteral("Null %1").arg(QLatin1String(column))))
            << QString::fromLatin1(column) << QVariant() << 94;
    }
}

void TestEntries::damagedFieldIsReportedNotFatal() {
    QFETCH(QString, damagedColumn);
    QFETCH(QVariant, stored);
    QFETCH(int, errorNumber);
    const qint64 cat = addCategory(QStringLiteral("类"));
    const qint64 id = addEntry({cat, QStringLiteral("坏"), QStringLiteral("user"), QStringLiteral("pw"),
                                QStringLiteral("w"), QStringLiteral("r"), QStringLiteral("银行账号")});
    vault().exec(QStringLiteral("update Quorvane_Pass set %1 = ? where ID = ?").arg(damagedColumn), {stored, id});
    const QMap<QString, int> fieldOf{{QStringLiteral("Caption"), 0}, {QStringLiteral("Name"), 1},
                                     {QStringLiteral("Pass"), 2},    {QStringLiteral("Www"), 3},
                                     {QStringLiteral("Remark"), 4},  {QStringLiteral("Sort"), 5}};
    QStringList expected{QStringLiteral("坏"), QStringLiteral("user"), QStringLiteral("pw"),
                         QStringLiteral("w"),  QStringLiteral("r"),    QStringLiteral("银行账号")};
    // An unreadable kind shows the first one, as any kind the box does not offer does.
    expected[fieldOf.value(damagedColumn)] =
        damagedColumn == QStringLiteral("Sort") ? QStringLiteral("普通账号") : QString();

    enterWriteMode();
    chooseCategory(cat);
    chooseEntry(0);
    QCOMPARE(boxes().shown.size(), 1);
    QCOMPARE(boxes().last().title, QStringLiteral("错误%1").arg(errorNumber));
    QCOMPARE(boxes().last().icon, BoxIcon::Critical);
    // The readable rest is shown, so the entry can be put right or deleted.
    QCOMPARE(paneTexts(), expected);
    QVERIFY(button("Button_Save")->isEnabled());

    edit("Edit_Caption")->setText(QStringLiteral("修好"));
    edit("Edit_Pass")->setText(QStringLiteral("pw"));
    boxes().queueAnswer(BoxAnswer::Yes);
    click("Button_Save");
    QCOMPARE(boxes().last().text, QStringLiteral("保存信息完成！"));
    QCOMPARE(column(id, QStringLiteral("Caption")).toString(), QStringLiteral("修好"));

    chooseEntry(0);
    list()->setTicked(0, true);
    click("Button_Del");
    QCOMPARE(vault().count(QStringLiteral("Quorvane_Pass")), 0);
}

// Whatever the user does to the list, the pane shows the highlighted entry, so a save writes the
// fields into the row they were read from: either the gesture chooses the item it highlights, or
// it leaves the highlight alone.
void TestEntries::listHighlightAndPaneStayInStep_data() {
    QTest::addColumn<QString>("gesture");
    for (const char* gesture : {"right click", "middle click", "drag", "double click", "arrow key", "tick box"}) {
        QTest::newRow(gesture) << QString::fromLatin1(gesture);
    }
}

void TestEntries::listHighlightAndPaneStayInStep() {
    QFETCH(QString, gesture);
    const qint64 cat = addCategory(QStringLiteral("类"));
    const qint64 a = addEntry({cat, QStringLiteral("甲"), QStringLiteral("ua"), QStringLiteral("pa")});
    const qint64 b = addEntry({cat, QStringLiteral("乙"), QStringLiteral("ub"), QStringLiteral("pb")});
    enterWriteMode();
    chooseCategory(cat);
    chooseEntry(0);

    QWidget* viewport = list()->viewport();
    const QRect rowA = list()->visualItemRect(list()->item(0));
    const QRect rowB = list()->visualItemRect(list()->item(1));
    if (gesture == QStringLiteral("right click")) {
        QTest::mouseClick(viewport, Qt::RightButton, {}, rowB.center());
    } else if (gesture == QStringLiteral("middle click")) {
        QTest::mouseClick(viewport, Qt::MiddleButton, {}, rowB.center());
    } else if (gesture == QStringLiteral("drag")) {
        QTest::mousePress(viewport, Qt::LeftButton, {}, rowA.center());
        QMouseEvent move(QEvent::MouseMove, rowB.center(), viewport->mapToGlobal(rowB.center()), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, rowB.center());
    } else if (gesture == QStringLiteral("double click")) {
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, rowB.center());
    } else if (gesture == QStringLiteral("arrow key")) {
        QTest::keyClick(list(), Qt::Key_Down);
    } else {
        QStyleOptionViewItem option;
        option.initFrom(list());
        option.rect = rowB;
        option.features |= QStyleOptionViewItem::HasCheckIndicator;
        const QRect box = list()->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list());
        QTest::mouseClick(viewport, Qt::LeftButton, {}, box.center());
        QVERIFY(list()->isTicked(1));
    }

    const int highlighted = list()->selectedIndex();
    QVERIFY(highlighted != -1);
    QCOMPARE(edit("Edit_Caption")->text(), list()->item(highlighted)->text());
    edit("Edit_Pass")->setText(QStringLiteral("新"));
    boxes().queueAnswer(BoxAnswer::Yes);
    click("Button_Save");
    const qint64 saved = highlighted == 0 ? a : b;
    const qint64 other = highlighted == 0 ? b : a;
    QCOMPARE(column(saved, QStringLiteral("Pass")).toString(), EncodeSecret(QStringLiteral("新"), Key));
    QCOMPARE(column(other, QStringLiteral("Caption")).toString(),
             highlighted == 0 ? QStringLiteral("乙") : QStringLiteral("甲"));
    QCOMPARE(column(other, QStringLiteral("Pass")).toString(),
             EncodeSecret(highlighted == 0 ? QStringLiteral("pb") : QStringLiteral("pa"), Key));
}

// The same for the tree: the list shows the entries of the highlighted category, so a new entry is
// filed where the user sees it listed.
void TestEntries::treeHighlightAndListStayInStep_data() {
    QTest::addColumn<QString>("gesture");
    for (const char* gesture : {"arrow key", "middle click", "right click", "drag", "double click"}) {
        QTest::newRow(gesture) << QString::fromLatin1(gesture);
    }
}

void TestEntries::treeHighlightAndListStayInStep() {
    QFETCH(QString, gesture);
    const qint64 first = addCategory(QStringLiteral("甲类"));
    const qint64 second = addCategory(QStringLiteral("乙类"));
    addEntry({first, QStringLiteral("甲的"), {}, QStringLiteral("p")});
    addEntry({second, QStringLiteral("乙的"), {}, QStringLiteral("p")});
    enterWriteMode();
    chooseCategory(first);

    auto* tree = control<CategoryTree>("Tree");
    QWidget* viewport = tree->viewport();
    const QPoint atFirst = tree->visualItemRect(tree->nodeByKey(first)).center();
    const QPoint atSecond = tree->visualItemRect(tree->nodeByKey(second)).center();
    if (gesture == QStringLiteral("arrow key")) {
        tree->setFocus();
        QTest::keyClick(tree, Qt::Key_Down);
    } else if (gesture == QStringLiteral("middle click")) {
        QTest::mouseClick(viewport, Qt::MiddleButton, {}, atSecond);
    } else if (gesture == QStringLiteral("right click")) {
        QTest::mouseClick(viewport, Qt::RightButton, {}, atSecond);
        m_w->main.rightMenu()->hide();
    } else if (gesture == QStringLiteral("double click")) {
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, atSecond);
    } else {
        QTest::mousePress(viewport, Qt::LeftButton, {}, atFirst);
        QMouseEvent move(QEvent::MouseMove, atSecond, viewport->mapToGlobal(atSecond), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, atSecond);
    }

    QTreeWidgetItem* node = tree->selectedNode();
    QVERIFY(node != nullptr);
    const qint64 highlighted = CategoryTree::nodeKey(node);
    QCOMPARE(list()->item(0)->text(), highlighted == first ? QStringLiteral("甲的") : QStringLiteral("乙的"));
    click("Button_New");
    edit("Edit_Caption")->setText(QStringLiteral("新的"));
    edit("Edit_Pass")->setText(QStringLiteral("p"));
    boxes().queueAnswer(BoxAnswer::Yes);
    click("Button_Save");
    QCOMPARE(vault().scalar(QStringLiteral("select Type from Quorvane_Pass where Caption = '新的'")).toLongLong(),
             highlighted);
    QCOMPARE(list()->itemCount(), 2);
}

// A click on a tick box ticks that item and highlights it: tick items 0 and 2, press Delete, and
// both are gone.
void TestEntries::tickBoxClicksChooseAndDeleteTakesEveryTicked() {
    const qint64 cat = addCategory(QStringLiteral("类"));
    addEntry({cat, QStringLiteral("甲"), {}, QStringLiteral("p")});
    const qint64 kept = addEntry({cat, QStringLiteral("乙"), {}, QStringLiteral("p")});
    addEntry({cat, QStringLiteral("丙"), {}, QStringLiteral("p")});
    enterWriteMode();
    chooseCategory(cat);
    for (int row : {0, 2}) {
        QStyleOptionViewItem option;
        option.initFrom(list());
        option.rect = list()->visualItemRect(list()->item(row));
        option.features |= QStyleOptionViewItem::HasCheckIndicator;
        const QRect box = list()->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list());
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, box.center());
        QVERIFY(list()->isTicked(row));
        QCOMPARE(list()->selectedIndex(), row);
        QCOMPARE(edit("Edit_Caption")->text(), list()->item(row)->text());
    }
    click("Button_Del");
    QVERIFY(boxes().shown.isEmpty());
    QCOMPARE(listedKeys(), QList<qint64>{kept});
    QCOMPARE(vault().count(QStringLiteral("Quorvane_Pass")), 1);
}

// A save writes back exactly what each field was given unless the user changed that field: a remark
// from a Windows-era file keeps its line ends when only the title changes, and no value is cut.
void TestEntries::untouchedFieldsAreWrittenBackExactly_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("pass");
    QTest::addColumn<QString>("remarkText");
    const QString longText = QString(40000, QLatin1Char('x')) + QStringLiteral("尾");
    QTest::newRow("CR LF") << "u"
                           << "p"
                           << "第一行\r\n第二行\r\n";
    QTest::newRow("lone CR") << "u"
                             << "p"
                             << "a\rb";
    QTest::newRow("no-break space and separators")
        << QStringLiteral("a\u00A0b") << "p" << QStringLiteral("x\u00A0y\u2028z\u2029w");
    QTest::newRow("beyond 32767 characters") << longText << longText << longText;
}

void TestEntries::untouchedFieldsAreWrittenBackExactly() {
    QFETCH(QString, name);
    QFETCH(QString, pass);
    QFETCH(QString, remarkText);
    const qint64 cat = addCategory(QStringLiteral("类"));
    const qint64 id =
        addEntry({cat, QStringLiteral("旧题"), name, pass, QStringLiteral("www.example.org/") + name, remarkText});
    enterWriteMode();
    chooseCategory(cat);
    chooseEntry(0);
    // Every field shows its value from the first character.
    for (FlatEdit* field : {edit("Edit_Caption"), edit("Edit_Name"), edit("Edit_Pass"), edit("Edit_Www")}) {
        QCOMPARE(field->cursorPosition(), 0);
    }
    edit("Edit_Caption")->setText(QStringLiteral("新题"));
    boxes().queueAnswer(BoxAnswer::Yes);
    click("Button_Save");
    QCOMPARE(boxes().last().text, QStringLiteral("保存信息完成！"));
    QCOMPARE(column(id, QStringLiteral("Name")).toString(), EncodeSecret(name, Key));
    QCOMPARE(column(id, QStringLiteral("Pass")).toString(), EncodeSecret(pass, Key));
    QCOMPARE(column(id, QStringLiteral("Www")).toString(), QStringLiteral("www.example.org/") + name);
    QCOMPARE(column(id, QStringLiteral("Remark")).toString(), EncodeSecret(remarkText, Key));

    // A value typed (or pasted) into a field is kept whole too, and an edited remark keeps CR LF.
    chooseEntry(0);
    edit("Edit_Pass")->clear();
    edit("Edit_Pass")->insert(pass + QStringLiteral("!"));
    remark()->moveCursor(QTextCursor::End);
    remark()->insertPlainText(QStringLiteral("\n加"));
    boxes().queueAnswer(BoxAnswer::Yes);
    click("Button_Save");
    QCOMPARE(DecodeSecret(column(id, QStringLiteral("Pass")).toString(), Key), pass + QStringLiteral("!"));
    if (remarkText.contains(QStringLiteral("\r\n"))) {
        QCOMPARE(DecodeSecret(column(id, QStringLiteral("Remark")).toString(), Key),
                 remarkText + QStringLiteral("\r\n加"));
    }
}

// Save writes onto the row the pane was filled from, and only while the file still holds what the
// pane was filled from; else it writes nothing, says why, and (for a changed row) shows it anew.
void TestEntries::saveWritesOnlyOntoTheRowAsShown_data() {
    QTest::addColumn<QString>("meanwhile");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("captionAfter");
    const QString changed = QStringLiteral("这条信息已在别处被修改，本次修改没有保存，现在显示的是它保存的内容！");
    QTest::newRow("title changed elsewhere")
        << "update Quorvane_Pass set Caption = '别处改的' where Caption = '甲'" << changed << "别处改的";
    QTest::newRow("Null written elsewhere")
        << "update Quorvane_Pass set Www = null where Caption = '甲'" << changed << "甲";
    QTest::newRow("kind changed elsewhere")
        << "update Quorvane_Pass set Sort = '网络账号' where Caption = '甲'" << changed << "甲";
    QTest::newRow("category deleted elsewhere") << "delete from Quorvane_Type where Name = '类'"
                                                << "选中的分类已被删除，请选择其他分类后再保存！"
                                                << "新题";
    QTest::newRow("highlight left by a delete") << ""
                                                << "请选择一个需要编辑的内容！"
                                                << "新题";
}

void TestEntries::saveWritesOnlyOntoTheRowAsShown() {
    QFETCH(QString, meanwhile);
    QFETCH(QString, message);
    QFETCH(QString, captionAfter);
    const qint64 cat = addCategory(QStringLiteral("类"));
    addEntry({cat, QStringLiteral("甲"), QStringLiteral("ua"), QStringLiteral("pa"), QStringLiteral("wa")});
    addEntry({cat, QStringLiteral("乙"), QStringLiteral("ub"), QStringLiteral("pb")});
    enterWriteMode();
    chooseCategory(cat);
    if (meanwhile.isEmpty()) {
        // Tick the first, highlight the second, delete: the pane is emptied.
        list()->setTicked(0, true);
        chooseEntry(1);
        click("Button_Del");
        QCOMPARE(list()->selectedIndex(), -1);
    } else if (meanwhile.startsWith(QLatin1String("delete"))) {
        click("Button_New");
    } else {
        chooseEntry(0);
    }
    edit("Edit_Caption")->setText(QStringLiteral("新题"));
    edit("Edit_Pass")->setText(QStringLiteral("新密码"));
    QString expected = storedRows();
    if (!meanwhile.isEmpty()) {
        boxes().whileShown = [this, &expected, meanwhile] {
            vault().exec(meanwhile);
            expected = storedRows();
        };
    }
    boxes().queueAnswer(BoxAnswer::Yes);
    click("Button_Save");

    // A Null shown anew is reported after the message.
    QVERIFY(boxes().texts().contains(message));
    QCOMPARE(boxes().shown.at(boxes().texts().indexOf(message)).title, Title);
    QCOMPARE(storedRows(), expected);
    QCOMPARE(edit("Edit_Caption")->text(), captionAfter);
}

// A field the user did not touch keeps its stored form when another field is saved: a damaged or
// Null value, and a kind outside the three the box offers, which it shows but never offers.
void TestEntries::untouchedStoredFormsSurviveASave_data() {
    QTest::addColumn<QString>("damaged");
    QTest::addColumn<QVariant>("stored");
    QTest::newRow("Null Name") << "Name" << QVariant();
    QTest::newRow("undecodable Name") << "Name" << QVariant(QStringLiteral("กข"));
    QTest::newRow("Null Www") << "Www" << QVariant();
    QTest::newRow("Null Remark") << "Remark" << QVariant();
    QTest::newRow("other kind") << "Sort" << QVariant(QStringLiteral("其他账号"));
    QTest::newRow("Null kind") << "Sort" << QVariant();
}

void TestEntries::untouchedStoredFormsSurviveASave() {
    QFETCH(QString, damaged);
    QFETCH(QVariant, stored);
    const qint64 cat = addCategory(QStringLiteral("类"));
    const qint64 id = addEntry({cat, QStringLiteral("甲"), QStringLiteral("user"), QStringLiteral("pw"),
                                QStringLiteral("w"), QStringLiteral("r"), QStringLiteral("银行账号")});
    vault().exec(QStringLiteral("update Quorvane_Pass set %1 = ? where ID = ?").arg(damaged), {stored, id});
    const QString storedForm = QStringLiteral("select quote(%1) from Quorvane_Pass where ID = %2").arg(damaged).arg(id);
    const QString before = vault().scalar(storedForm).toString();
    enterWriteMode();
    chooseCategory(cat);
    chooseEntry(0);
    if (stored.typeId() == QMetaType::QString && damaged == QStringLiteral("Sort")) {
        QCOMPARE(kinds()->currentText(), stored.toString());
        click("Button_Read");
        click("Button_Read");
        QCOMPARE(kinds()->currentText(), stored.toString());
    }
    edit("Edit_Caption")->setText(QStringLiteral("新题"));
    boxes().queueAnswer(BoxAnswer::Yes);
    click("Button_Save");
    QCOMPARE(boxes().last().text, QStringLiteral("保存信息完成！"));
    QCOMPARE(column(id, QStringLiteral("Caption")).toString(), QStringLiteral("新题"));
    QCOMPARE(vault().scalar(storedForm).toString(), before);

    click("Button_New");
    QCOMPARE(kinds()->count(), 3);
    QCOMPARE(kinds()->currentText(), QStringLiteral("普通账号"));
}

// Save reports an engine failure and leaves the window as it was (the new entry still pending, no
// reload); choosing a category or an entry, and deleting, have no trap: the failure is reported and
// the program ends.
void TestEntries::engineFailuresInSaveAreTrappedElsewhereFatal() {
    const qint64 cat = addCategory(QStringLiteral("类"));
    addEntry({cat, QStringLiteral("一"), {}, QStringLiteral("p")});
    enterWriteMode();
    chooseCategory(cat);
    chooseEntry(0);
    click("Button_New");
    edit("Edit_Caption")->setText(QStringLiteral("新"));
    edit("Edit_Pass")->setText(QStringLiteral("p"));
    vault().exec(QStringLiteral("alter table Quorvane_Pass rename to Gone"));
    boxes().queueAnswer(BoxAnswer::Yes);
    click("Button_Save");
    QCOMPARE(boxes().last().title, QStringLiteral("错误-2147467259"));
    QCOMPARE(boxes().last().icon, BoxIcon::Critical);
    QVERIFY(pane().addingNew());
    QCOMPARE(edit("Edit_Caption")->text(), QStringLiteral("新"));
    QCOMPARE(list()->itemCount(), 1);
    QCOMPARE(m_w->fake.programEnd.calls, 0);

    const auto expectFatal = [this](const std::function<void()>& action, const char* what) {
        boxes().shown.clear();
        m_w->fake.programEnd.calls = 0;
        action();
        QVERIFY2(boxes().shown.size() == 1 && boxes().last().title == QStringLiteral("错误-2147467259"), what);
        QVERIFY2(m_w->fake.programEnd.calls == 1, what);
    };
    expectFatal([this] { chooseEntry(0); }, "choosing an entry");
    expectFatal(
        [this] {
            list()->setTicked(0, true);
            click("Button_Del");
        },
        "deleting");
    expectFatal([this, cat] { chooseCategory(cat); }, "choosing a category");

    // The category menu's dialogs read the category when they open; that read has no trap either.
    vault().exec(QStringLiteral("alter table Quorvane_Type rename to GoneToo"));
    for (const char* command : {"New", "Edit"}) {
        expectFatal([this, command] { child<QAction>(m_w->main.rightMenu(), QLatin1String(command))->trigger(); },
                    command);
    }
    m_w->fake.programEnd.calls = 0;
}

// As on the desktop the window comes from, a menu shortcut acts wherever the cursor is: Ctrl+E ends
// the program although a one-line field would take it as "end of line", Ctrl+A opens About
// although a field would select all.
void TestEntries::menuShortcutsGoBeforeTheFocusedControl() {
    const qint64 cat = addCategory(QStringLiteral("类"));
    addEntry({cat, QStringLiteral("一"), QStringLiteral("u"), QStringLiteral("p")});
    enterWriteMode();
    chooseCategory(cat);
    chooseEntry(0);
    QList<QWidget*> controls{
        edit("Edit_Caption"),         edit("Edit_Name"), edit("Edit_Pass"), edit("Edit_Www"), remark(), kinds(), list(),
        control<CategoryTree>("Tree")};
    QStringList missed;
    const auto press = [this](QWidget* focused, Qt::Key key) {
        QApplication::setActiveWindow(&m_w->main);
        focused->setFocus();
        QCOMPARE(QApplication::focusWidget(), focused);
        QTest::keyClick(focused, key, Qt::ControlModifier);
    };
    for (QWidget* focused : controls) {
        const int endsBefore = m_w->fake.programEnd.calls;
        press(focused, Qt::Key_E);
        if (m_w->fake.programEnd.calls != endsBefore + 1) {
            missed << QStringLiteral("Ctrl+E in ") + focused->objectName();
        }
        boxes().shown.clear();
        press(focused, Qt::Key_H);
        if (boxes().texts() != QStringList{QStringLiteral("没有找到帮助文件！")}) {
            missed << QStringLiteral("Ctrl+H in ") + focused->objectName();
        }
        auto aboutShown = std::make_shared<bool>(false);
        whenModal<QDialog>(
            [aboutShown](QDialog* dialog) {
                *aboutShown = dialog->objectName() == QStringLiteral("frmAbout");
                dialog->done(0);
            },
            500);
        press(focused, Qt::Key_A);
        if (!*aboutShown) {
            missed << QStringLiteral("Ctrl+A in ") + focused->objectName();
        }
    }
    m_w->fake.programEnd.calls = 0;
    QCOMPARE(missed.join(QStringLiteral(", ")), QString());
    // The fields themselves were left as they were.
    QCOMPARE(edit("Edit_Caption")->text(), QStringLiteral("一"));
}

VAULTRY_TEST_MAIN(TestEntries)
#include "tst_entries.moc"
