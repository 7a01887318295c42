// The control kinds the windows are built from, the skin engine and the pictures beside the program.
#include "TestFiles.h"
#include "controls/CategoryTree.h"
#include "controls/CheckListBox.h"
#include "controls/FlatEdit.h"
#include "controls/FlatMemo.h"
#include "controls/SkinComboBox.h"
#include "controls/SkinEngine.h"
#include "support/SuiteGuard.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QImageReader>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <stdexcept>

namespace {

const QString programFolder = QStringLiteral(VAULTRY_BIN_DIR);

// The colour in the middle of a widget's right half, where no text is drawn.
QColor fieldColour(QWidget* widget) {
    const QImage image = widget->grab().toImage();
    return image.pixelColor(image.width() * 3 / 4, image.height() / 2);
}

} // namespace

class TestControls : public QObject {
    Q_OBJECT
private slots:
    void skinFillsSlotsFromScheme();
    void skinRefusesMissingOrIncompletePair();
    void realSkinKeepsFieldColours();
    void artworkBesideProgram();
    void treeIconsFromFiles();
    void flatEditPasswordCharacter();
    void shownSecretLeavesNoPlainCopy_data();
    void shownSecretLeavesNoPlainCopy();
    void comboSetTextFallsBackToFirstItem();
    void listSelectedIndexAndItemData();
    void listTicksAndRemoval();
    void listReportsClicksAndKeys();
    void treeKeys();
    void treeMouseButtons();
};

void TestControls::skinFillsSlotsFromScheme() {
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath("Test.cjstyles"), "/* a comment naming @Nothing */\n"
                                                     "QPushButton { color: @Text; background-color: @ButtonBack; }\n"
                                                     "QLineEdit { border: 1px solid @Text; }\n"));
    // Keys are found whatever their case; only the [Colors] section counts; a BOM is no key.
    QVERIFY(writeFile(dir.filePath("Scheme.ini"), "\xEF\xBB\xBF; scheme\n[Other]\nText=#ffffff\n"
                                                  "[Colors]\r\ntext = #112233\r\nBUTTONBACK=#445566\r\n"));
    SkinEngine skin;
    QVERIFY(skin.loadSkin(dir.filePath("Test.cjstyles"), QStringLiteral("Scheme.ini")));
    QVERIFY(skin.isLoaded());
    QVERIFY(!skin.styleSheet().contains(QLatin1Char('@')));
    QCOMPARE(skin.styleSheet().count(QStringLiteral("#112233")), 2);
    QVERIFY(skin.styleSheet().contains(QStringLiteral("background-color: #445566;")));
    QVERIFY(!skin.styleSheet().contains(QStringLiteral("#ffffff")));

    QWidget window;
    auto* button = new QPushButton(QStringLiteral("x"), &window);
    skin.applyTo(&window);
    QCOMPARE(window.styleSheet(), skin.styleSheet());
    window.ensurePolished();
    button->ensurePolished();
    QCOMPARE(button->palette().color(QPalette::ButtonText), QColor(0x11, 0x22, 0x33));
}

void TestControls::skinRefusesMissingOrIncompletePair() {
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath("Good.cjstyles"), "QLabel { color: @Text; }"));
    QVERIFY(writeFile(dir.filePath("Holes.cjstyles"), "QLabel { color: @Text; background: @Missing; }"));
    QVERIFY(writeFile(dir.filePath("Good.ini"), "[Colors]\nText=#123456\n"));

    QWidget window;
    SkinEngine skin;
    skin.applyTo(&window);
    QCOMPARE(window.styleSheet(), QString());

    const struct {
        const char* skinFile;
        const char* ini;
    } refused[] = {{"Absent.cjstyles", "Good.ini"},
                   {"Good.cjstyles", "Absent.ini"},
                   {"Good.cjstyles", ""},
                   {"Holes.cjstyles", "Good.ini"},
                   {".", "Good.ini"}};
    for (const auto& pair : refused) {
        // A refused pair also drops a skin loaded before.
        QVERIFY(skin.loadSkin(dir.filePath("Good.cjstyles"), QStringLiteral("Good.ini")));
        QVERIFY2(!skin.loadSkin(dir.filePath(QString::fromLatin1(pair.skinFile)), QString::fromLatin1(pair.ini)),
                 pair.skinFile);
        QVERIFY(!skin.isLoaded());
        skin.applyTo(&window);
        QCOMPARE(window.styleSheet(), QString());
    }
    skin.applyTo(nullptr);
}

// The program sets the fields' back colours while the window wears the skin, whose own rules
// colour every field by its enabled state: the program's colour must be the one on screen. The
// colours are crossed against the skin's (a grey enabled field, a white disabled one) so that the
// skin cannot pass for the program.
void TestControls::realSkinKeepsFieldColours() {
    SkinEngine skin;
    QVERIFY(
        skin.loadSkin(programFolder + QStringLiteral("/Skin/Office2010.cjstyles"), QStringLiteral("NormalBlue.ini")));
    QWidget window;
    window.resize(400, 300);
    auto* grey = new FlatEdit(&window);
    auto* white = new FlatEdit(&window);
    auto* memo = new FlatMemo(&window);
    auto* combo = new SkinComboBox(&window);
    auto* enabledButton = new QPushButton(QStringLiteral("保存"), &window);
    auto* disabledButton = new QPushButton(QStringLiteral("保存"), &window);
    grey->setGeometry(0, 0, 150, 23);
    white->setGeometry(0, 30, 150, 23);
    memo->setGeometry(0, 60, 150, 100);
    combo->setGeometry(160, 0, 150, 20);
    enabledButton->setGeometry(160, 30, 100, 36);
    disabledButton->setGeometry(160, 80, 100, 36);
    combo->addItem(QStringLiteral("网站"));
    const QColor readOnlyGrey(224, 224, 224);
    grey->setBackColor(readOnlyGrey);
    memo->setBackColor(readOnlyGrey);
    combo->setBackColor(readOnlyGrey);
    white->setEnabled(false);
    disabledButton->setEnabled(false);
    skin.applyTo(&window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QCOMPARE(fieldColour(grey), readOnlyGrey);
    QCOMPARE(fieldColour(white), QColor(Qt::white));
    const QImage memoImage = memo->grab().toImage();
    QCOMPARE(memoImage.pixelColor(memoImage.width() / 2, memoImage.height() * 3 / 4), readOnlyGrey);
    const QImage comboImage = combo->grab().toImage();
    QCOMPARE(comboImage.pixelColor(comboImage.width() / 2, comboImage.height() / 2), readOnlyGrey);

    // The colour follows every change.
    grey->setBackColor(Qt::white);
    QCOMPARE(fieldColour(grey), QColor(Qt::white));
    QCOMPARE(grey->backColor(), QColor(Qt::white));

    QVERIFY(enabledButton->grab().toImage() != disabledButton->grab().toImage());
}

void TestControls::artworkBesideProgram() {
    const QDir icons(programFolder + QStringLiteral("/Icons"));
    const struct {
        const char* file;
        QSize size;
    } pictures[] = {{"vaultry.png", {64, 64}}, {"background.png", {760, 510}}, {"read.png", {28, 28}},
                    {"new.png", {32, 32}},     {"del.png", {26, 26}},          {"save.png", {24, 24}},
                    {"cancel.png", {24, 24}}};
    for (const auto& picture : pictures) {
        QImageReader reader(icons.filePath(QString::fromLatin1(picture.file)));
        QVERIFY2(reader.canRead(), picture.file);
        QCOMPARE(reader.size(), picture.size);
    }
    // The skin's own pictures, which its style sheet names.
    for (const char* file : {"arrow-down.png", "arrow-down-disabled.png", "tick.png"}) {
        QVERIFY2(QImageReader(programFolder + QStringLiteral("/Skin/") + QLatin1String(file)).canRead(), file);
    }
    for (const char* file : {"00032.ico", "00023.ico", "vaultry.ico"}) {
        const QIcon icon(icons.filePath(QString::fromLatin1(file)));
        QVERIFY2(icon.availableSizes().contains(QSize(16, 16)), file);
        QVERIFY2(icon.availableSizes().contains(QSize(32, 32)), file);
        QVERIFY(!icon.pixmap(16).toImage().isNull());
    }
}

void TestControls::treeIconsFromFiles() {
    const QString icons = programFolder + QStringLiteral("/Icons/");
    CategoryTree tree;
    QTreeWidgetItem* early = tree.addNode(-1, 1, QStringLiteral("全部分类"));
    tree.loadIcon(icons + QStringLiteral("00032.ico"), 0);
    tree.loadIcon(icons + QStringLiteral("00023.ico"), 2);
    // Loaded twice, as every rebuild does: still one picture per state.
    tree.loadIcon(icons + QStringLiteral("00032.ico"), 0);
    QTreeWidgetItem* late = tree.addNode(1, 2, QStringLiteral("邮箱"));
    for (QTreeWidgetItem* node : {early, late}) {
        const QIcon icon = node->icon(0);
        QVERIFY(!icon.isNull());
        QCOMPARE(icon.availableSizes(QIcon::Normal).size(), 2);
        QVERIFY(icon.pixmap(16, QIcon::Normal).toImage() != icon.pixmap(16, QIcon::Selected).toImage());
    }
    const QImage normal = QIcon(icons + QStringLiteral("00032.ico")).pixmap(16).toImage();
    QCOMPARE(late->icon(0).pixmap(16, QIcon::Normal).toImage().convertToFormat(normal.format()), normal);

    // A file that cannot be read leaves the state without a picture and raises nothing.
    tree.loadIcon(icons + QStringLiteral("missing.ico"), 0);
    tree.loadIcon(icons + QStringLiteral("missing.ico"), 2);
    QVERIFY(late->icon(0).isNull());
}

void TestControls::flatEditPasswordCharacter() {
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

void TestControls::comboSetTextFallsBackToFirstItem() {
    SkinComboBox combo;
    QVERIFY(!combo.isEditable());
    combo.addItems({QStringLiteral("网站"), QStringLiteral("邮箱"), QStringLiteral("银行")});
    combo.setText(QStringLiteral("银行"));
    QCOMPARE(combo.currentIndex(), 2);
    combo.setText(QStringLiteral("不存在"));
    QCOMPARE(combo.currentIndex(), 0);
    QCOMPARE(combo.currentText(), QStringLiteral("网站"));
}

void TestControls::listSelectedIndexAndItemData() {
    CheckListBox list;
    list.addItemWithData(QStringLiteral("a"), 5'000'000'001LL);
    list.addItemWithData(QStringLiteral("b"), -3);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    // Taking the focus gives Qt a current row, but nothing is highlighted yet.
    list.setFocus();
    QCOMPARE(list.selectedIndex(), -1);
    QCOMPARE(list.itemData(0), 5'000'000'001LL);
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

void TestControls::listTicksAndRemoval() {
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

void TestControls::listReportsClicksAndKeys() {
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

void TestControls::treeKeys() {
    CategoryTree tree;
    QVERIFY(tree.isHeaderHidden());
    QTreeWidgetItem* root = tree.addNode(-1, 1, QStringLiteral("全部分类"));
    QTreeWidgetItem* mail = tree.addNode(1, 3'000'000'000LL, QStringLiteral("邮箱"));
    QTreeWidgetItem* work = tree.addNode(3'000'000'000LL, 7, QStringLiteral("工作"));
    QCOMPARE(CategoryTree::nodeKey(root), 1);
    QCOMPARE(CategoryTree::nodeKey(mail), 3'000'000'000LL);
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, CategoryTree::nodeKey(nullptr));
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

void TestControls::treeMouseButtons() {
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

// A shown password that the user selects or copies never lands in a selection of ours in plain text:
// the primary selection (X11) is not offered it, and a copy goes to whoever takes secrets.
void TestControls::shownSecretLeavesNoPlainCopy_data() {
    QTest::addColumn<QString>("gesture");
    QTest::addColumn<bool>("copies");
    QTest::newRow("copy key") << "copy key" << true;
    QTest::newRow("cut key") << "cut key" << true;
    QTest::newRow("menu copy") << "menu copy" << true;
    QTest::newRow("drag") << "drag" << false;
    QTest::newRow("shift end") << "shift end" << false;
}

void TestControls::shownSecretLeavesNoPlainCopy() {
    QFETCH(QString, gesture);
    QFETCH(bool, copies);
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!copies && !clipboard->supportsSelection()) {
        // Only X11 has the primary selection: the case is tried there, on a display of its own.
        const QString xvfbRun = QStandardPaths::findExecutable(QStringLiteral("xvfb-run"));
        if (xvfbRun.isEmpty()) {
            QSKIP("no primary selection here and no xvfb-run to try one");
        }
        QProcess child;
        child.setProcessChannelMode(QProcess::MergedChannels);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        child.setProcessEnvironment(environment);
        child.start(xvfbRun,
                    {QStringLiteral("-a"), QCoreApplication::applicationFilePath(),
                     QStringLiteral("shownSecretLeavesNoPlainCopy:") + QLatin1String(QTest::currentDataTag())});
        QVERIFY(child.waitForFinished(60000));
        QVERIFY2(child.exitCode() == 0, child.readAll().constData());
        return;
    }

    clipboard->setText(QStringLiteral("before"));
    clipboard->setText(QStringLiteral("before"), QClipboard::Selection);
    FlatEdit edit;
    edit.setHoldsSecret(true);
    edit.setText(QStringLiteral("geheim"));
    edit.setPasswordChar(QString());
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));
    QApplication::setActiveWindow(&edit);
    edit.setFocus();
    QSignalSpy copied(&edit, &FlatEdit::secretCopied);

    if (gesture == QStringLiteral("drag")) {
        QTest::mousePress(&edit, Qt::LeftButton, {}, QPoint(2, edit.height() / 2));
        QTest::mouseMove(&edit, QPoint(edit.width() - 2, edit.height() / 2));
        QTest::mouseRelease(&edit, Qt::LeftButton, {}, QPoint(edit.width() - 2, edit.height() / 2));
    } else if (gesture == QStringLiteral("shift end")) {
        edit.home(false);
        QTest::keyClick(&edit, Qt::Key_End, Qt::ShiftModifier);
    } else if (gesture == QStringLiteral("menu copy")) {
        edit.selectAll();
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(2, 2), edit.mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(&edit, &menuEvent);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(menu != nullptr);
        const QList<QAction*> actions = menu->actions();
        const auto copy = std::find_if(actions.begin(), actions.end(), [](QAction* action) {
            return action->text().endsWith(QKeySequence(QKeySequence::Copy).toString(QKeySequence::NativeText));
        });
        QVERIFY(copy != actions.end());
        (*copy)->trigger();
        menu->close();
    } else {
        edit.selectAll();
        QTest::keySequence(&edit, gesture == QStringLiteral("copy key") ? QKeySequence::Copy : QKeySequence::Cut);
    }
    QCoreApplication::processEvents();

    if (copies) {
        QCOMPARE(copied.count(), 1);
        QCOMPARE(copied.at(0).at(0).toString(), QStringLiteral("geheim"));
        QCOMPARE(edit.text(), gesture == QStringLiteral("cut key") ? QString() : QStringLiteral("geheim"));
    } else {
        QCOMPARE(edit.selectedText(), QStringLiteral("geheim"));
        QVERIFY(clipboard->text(QClipboard::Selection) != QStringLiteral("geheim"));
    }
    QCOMPARE(clipboard->text(), QStringLiteral("before"));
}

VAULTRY_TEST_MAIN(TestControls)
#include "tst_controls.moc"
