#include "MainWindow.h"

#include "FrmPass.h"
#include "OldVaultOffer.h"
#include "ProtectCommand.h"
#include "SessionLock.h"
#include "VaultInUse.h"
#include "controls/CategoryTree.h"
#include "controls/CheckListBox.h"
#include "controls/FlatEdit.h"
#include "controls/FlatMemo.h"
#include "controls/Fonts.h"
#include "controls/Placement.h"
#include "controls/SkinComboBox.h"
#include "controls/SkinEngine.h"
#include "controls/WindowFrame.h"
#include "entries/FoundEntry.h"
#include "entries/PasswordGeneration.h"
#include "entries/frmFind.h"
#include "frmAbout.h"
#include "frmLogin.h"
#include "platform/ErrorReport.h"
#include "platform/LockSignals.h"
#include "vault/Module.h"
#include "vault/ProtectedVault.h"
#include "vault/VaultLock.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QPushButton>

namespace {

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
    return placeControl<QPushButton>(parent, name, geometry, caption);
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
    return placeControl<QLabel>(parent, name, geometry, caption);
}

template <typename Field> Field* makeField(QWidget* parent, const char* name, QRect geometry) {
    auto* field = placeControl<Field>(parent, name, geometry);
    // The window opens read-only: grey and closed to input until the mode is first applied.
    field->setBackColor(BackColors::ReadOnly);
    field->setEnabled(false);
    return field;
}

QAction* makeAction(QMenu* menu, const char* name, const QString& caption, const QKeySequence& shortcut = {}) {
    auto* action = menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    action->setShortcut(shortcut);
    return action;
}

} // namespace

Main::Main(Module& module, Platform& platform, const QString& programFolder, QWidget* parent)
    : Main(module, platform, ProgramFolders{programFolder, programFolder, false}, parent) {}

Main::Main(Module& module, Platform& platform, const ProgramFolders& folders, QWidget* parent)
    : QMainWindow(parent), m_module(module), m_platform(platform), m_programFolder(folders.resources),
      m_folders(folders), m_skin(std::make_unique<SkinEngine>()) {
    setObjectName(QStringLiteral("Main"));
    setWindowTitle(QStringLiteral("Quorvane密码箱 V1.0"));
    setWindowIcon(programIcon(m_programFolder));
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    buildControls();

    m_treeBuilder = std::make_unique<CategoryTreeBuilder>(m_module, *m_tree, m_programFolder);
    m_categoryCommands = std::make_unique<CategoryCommands>(
        m_module, m_platform, *m_tree, this, [this] { GJTree(); }, m_programFolder);
    m_entryPane = std::make_unique<EntryPane>(m_module, m_platform, m_paneWidgets, this);
    m_entryPane->connectHandlers();
    m_entryCommands = std::make_unique<EntryCommands>(m_module, m_platform, *m_entryPane, m_paneWidgets, this);
    m_entryCommands->connectHandlers();
    // The password field owns its generator.
    (new PasswordGeneration(m_platform, *m_paneWidgets.editPass, this, m_programFolder, [this] {
        return m_entryPane->writeMode();
    }))->connectHandlers();
    m_sessionLock = new SessionLock(*this, m_module, m_platform, m_programFolder);
    m_sessionLock->setVaultSession({[this] { ProtectedVault::closeAndForgetKey(m_module.VaultConnection); }, {}});
    buildMenus();

    connectFatal(m_platform, this, m_tree, &CategoryTree::mouseButton,
                 [this](int button, int x, int y) { onTreeMouseButton(button, x, y); });
    connectFatal(m_platform, this, m_tree, &CategoryTree::nodeClicked,
                 [this](QTreeWidgetItem* node) { m_entryPane->LoadEntryList(CategoryTree::nodeKey(node)); });

    // A menu shortcut goes before the control that has the focus (see eventFilter).
    qApp->installEventFilter(this);

    // The client area keeps the size the controls were laid out for; the menu bar comes on top.
    setFixedSize(756, 501 + menuBar()->sizeHint().height());
}

Main::~Main() = default;

void Main::buildControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    client->setFixedSize(756, 501);
    setCentralWidget(client);

    auto* background = new QLabel(client);
    background->setObjectName(QStringLiteral("Background"));
    background->setGeometry(0, 0, 760, 510);
    background->setPixmap(QPixmap(m_programFolder + QStringLiteral("/Icons/background.png")));
    background->lower();

    const QFont toolbarFont = songTiFont(10.5);
    auto pictureButton = [&](QWidget* parent, const char* name, const QString& caption, QRect geometry,
                             const QString& picture, int pictureSize) {
        QPushButton* button = makeButton(parent, name, caption, geometry);
        button->setIcon(QIcon(m_programFolder + QStringLiteral("/Icons/") + picture));
        button->setIconSize(QSize(pictureSize, pictureSize));
        return button;
    };
    m_paneWidgets.buttonRead = pictureButton(client, "Button_Read", QStringLiteral("只读(&R)"), {3, 3, 113, 42},
                                             QStringLiteral("read.png"), 28);
    m_paneWidgets.buttonNew = pictureButton(client, "Button_New", QStringLiteral("新建(&N)"), {118, 3, 113, 42},
                                            QStringLiteral("new.png"), 32);
    m_paneWidgets.buttonDel = pictureButton(client, "Button_Del", QStringLiteral("删除(&D)"), {234, 3, 113, 42},
                                            QStringLiteral("del.png"), 26);
    for (QPushButton* button : {m_paneWidgets.buttonRead, m_paneWidgets.buttonNew, m_paneWidgets.buttonDel}) {
        button->setFont(toolbarFont);
    }
    m_paneWidgets.buttonNew->hide();
    m_paneWidgets.buttonDel->hide();

    m_tree = new CategoryTree(client);
    m_tree->setObjectName(QStringLiteral("Tree"));
    m_tree->setGeometry(2, 47, 217, 449);
    m_paneWidgets.tree = m_tree;

    auto* list = new CheckListBox(client);
    list->setObjectName(QStringLiteral("List"));
    list->setGeometry(223, 47, 233, 449);
    list->setFont(toolbarFont);
    m_paneWidgets.list = list;

    auto* pane = new QWidget(client);
    pane->setObjectName(QStringLiteral("Resizer1"));
    pane->setGeometry(459, 47, 294, 449);

    makeLabel(pane, "Label1", QStringLiteral("标    题："), {5, 10, 68, 31});
    m_paneWidgets.editCaption = makeField<FlatEdit>(pane, "Edit_Caption", {63, 13, 194, 23});
    makeLabel(pane, "Label2", QStringLiteral("账户名称："), {6, 45, 68, 27});
    m_paneWidgets.editName = makeField<FlatEdit>(pane, "Edit_Name", {63, 46, 169, 23});
    m_paneWidgets.buttonCopy1 = makeButton(pane, "Button_Copy1", QStringLiteral("C"), {234, 46, 22, 23});
    makeLabel(pane, "Label3", QStringLiteral("密    码："), {6, 80, 68, 27});
    m_paneWidgets.editPass = makeField<FlatEdit>(pane, "Edit_Pass", {63, 81, 146, 23});
    m_paneWidgets.editPass->setPasswordChar(QStringLiteral("*"));
    m_paneWidgets.buttonView = makeButton(pane, "Button_View", QStringLiteral("*"), {211, 81, 22, 23});
    m_paneWidgets.buttonCopy2 = makeButton(pane, "Button_Copy2", QStringLiteral("C"), {234, 81, 22, 23});
    makeLabel(pane, "Label4", QStringLiteral("网    址："), {6, 114, 68, 27});
    m_paneWidgets.editWww = makeField<FlatEdit>(pane, "Edit_Www", {63, 117, 169, 23});
    m_paneWidgets.buttonFollow = makeButton(pane, "Button_Follow", QStringLiteral("F"), {234, 117, 22, 23});
    makeLabel(pane, "Label5", QStringLiteral("类    型："), {6, 148, 68, 27});
    m_paneWidgets.comboType = makeField<SkinComboBox>(pane, "Combo_Type", {63, 152, 194, 20});
    makeLabel(pane, "Label6", QStringLiteral("备    注："), {6, 183, 68, 27});
    m_paneWidgets.editRemark = makeField<FlatMemo>(pane, "Edit_Remark", {63, 184, 194, 160});

    m_paneWidgets.buttonSave = pictureButton(pane, "Button_Save", QStringLiteral(" 保存(&S)"), {27, 371, 111, 36},
                                             QStringLiteral("save.png"), 24);
    m_paneWidgets.buttonCancel = pictureButton(pane, "Button_Cancel", QStringLiteral(" 取消(&C)"), {141, 371, 111, 36},
                                               QStringLiteral("cancel.png"), 24);
    m_paneWidgets.buttonSave->setEnabled(false);
    m_paneWidgets.buttonCancel->setEnabled(false);
}

void Main::buildMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MenuBar"));
    const auto command = [this](QMenu* menu, const char* name, const QString& caption, const QKeySequence& shortcut,
                                void (Main::*handler)()) {
        connectFatal(m_platform, this, makeAction(menu, name, caption, shortcut), &QAction::triggered,
                     [this, handler] { (this->*handler)(); });
    };

    QMenu* file = bar->addMenu(QStringLiteral("文件(&F)"));
    file->setObjectName(QStringLiteral("File"));
    command(file, "Find", QStringLiteral("查找(&F)"), QKeySequence(Qt::CTRL | Qt::Key_F), &Main::Find);
    command(file, "Passwode", QStringLiteral("修改密码"), QKeySequence(Qt::CTRL | Qt::Key_P), &Main::Passwode);
    m_protectCommand = std::make_unique<ProtectCommand>(m_module, m_platform, this, m_programFolder, *file);
    command(file, "Lock", QStringLiteral("锁定(&L)"), QKeySequence(Qt::CTRL | Qt::Key_L), &Main::Lock);
    command(file, "Exit", QStringLiteral("退出"), QKeySequence(Qt::CTRL | Qt::Key_E), &Main::Exit);

    // The tree's pop-up menu belongs to the window but never shows in the menu bar; the category
    // commands connect its entries themselves.
    m_rightMenu = new QMenu(QStringLiteral("右键"), this);
    m_rightMenu->setObjectName(QStringLiteral("RightMenu"));
    QAction* newCategory = makeAction(m_rightMenu, "New", QStringLiteral("新建(&N)"));
    QAction* rename = makeAction(m_rightMenu, "Edit", QStringLiteral("修改(&E)"));
    QAction* remove = makeAction(m_rightMenu, "Del", QStringLiteral("删除(&D)"));
    m_categoryCommands->connectHandlers(*newCategory, *rename, *remove);

    QMenu* help = bar->addMenu(QStringLiteral("帮助(&H)"));
    help->setObjectName(QStringLiteral("HelpMenu"));
    command(help, "Help", QStringLiteral("帮助"), QKeySequence(Qt::CTRL | Qt::Key_H), &Main::Help);
    command(help, "About", QStringLiteral("关于"), QKeySequence(Qt::CTRL | Qt::Key_A), &Main::About);
}

bool Main::load() {
    bool admitted = false;
    const bool completed = !runTrapped(m_platform, nullptr, [&] {
        prepareVault(m_folders);
        const QString connectionText = Connection::connectionTextFor(m_folders.data);
        m_module.VaultConnection.setConnectionString(connectionText);
        const QString dataFile = Connection::dataSourceOf(connectionText);
        // Before anything reads or converts the file: a second program must not even begin.
        m_vaultLock = std::make_unique<VaultLock>(dataFile);
        if (!holdVaultForThisRun(*m_vaultLock, m_platform, nullptr, dataFile)) {
            return; // another window has it: the program has been ended
        }
        if (!offerOldVaultConversion(m_platform, nullptr, dataFile)) {
            return; // declined: the program has been ended
        }
        ProtectedVault::openUnlessProtected(m_module.VaultConnection);
        m_skin->loadSkin(m_programFolder + QStringLiteral("/Skin/Office2010.cjstyles"),
                         QStringLiteral("NormalBlue.ini"));
        m_skin->applyTo(this);

        frmLogin login(m_module, m_platform, m_programFolder, this);
        if (login.exec() != QDialog::Accepted) {
            return; // the login has ended the program
        }
        if (m_module.MustSetPassword) {
            FrmPass password(m_module, m_platform, m_programFolder, this);
            password.exec();
        }
        GJTree();
        admitted = true;
        m_sessionLock->arm();
    });
    if (!completed) {
        m_platform.programEnd.endProgram(1);
    }
    if (!completed || !admitted) {
        m_vaultLock.reset(); // a start-up that ended early holds nothing
    }
    return completed && admitted;
}

void Main::GJTree() {
    m_treeBuilder->GJTree();
}

// Reading the vault for the search may fail (a locked file); that is reported and the window stays
// as it was. Showing the chosen entry fails as a click on it would.
void Main::Find() {
    frmFind dialog(m_module, m_programFolder, this);
    if (runTrapped(m_platform, this, [&] { dialog.Form_Load(); })) {
        return;
    }
    if (dialog.exec() == QDialog::Accepted) {
        showFoundEntry(*m_entryPane, m_paneWidgets, dialog.chosenCategory(), dialog.chosenEntry());
    }
}

void Main::Passwode() {
    FrmPass dialog(m_module, m_platform, m_programFolder, this);
    dialog.exec();
}

void Main::Lock() {
    m_sessionLock->lock();
}

void Main::lockOn(LockSignals* source) {
    connectFatal(m_platform, this, source, &LockSignals::lockRequested, [this] { Lock(); });
}

void Main::Exit() {
    m_platform.programEnd.endProgram(0);
}

void Main::Help() {
    m_platform.boxes.show(this, QStringLiteral("没有找到帮助文件！"), PromptTitle, BoxButtons::Ok,
                          BoxIcon::Exclamation);
}

void Main::About() {
    frmAbout dialog(m_platform, m_programFolder, this);
    dialog.exec();
}

// Before Qt hands a key to a shortcut it asks the focused control whether it wants the key itself,
// and the edit fields claim Ctrl+A (select all) and, on X11, Ctrl+E and Ctrl+H (end of line,
// backspace). On the desktop the window comes from a menu shortcut wins over the control, and users
// expect Ctrl+E to end the program from a field being edited, so the window answers that question
// for its own shortcuts before the control can.
bool Main::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ShortcutOverride || !watched->isWidgetType() ||
        static_cast<QWidget*>(watched)->window() != this) {
        return false;
    }
    const QKeySequence pressed(static_cast<QKeyEvent*>(event)->keyCombination());
    for (const QAction* action : menuBar()->findChildren<QAction*>()) {
        if (!action->shortcut().isEmpty() && action->shortcut() == pressed) {
            event->ignore();
            return true;
        }
    }
    return false;
}

void Main::onTreeMouseButton(int button, int x, int y) {
    if (button == 2) {
        m_rightMenu->popup(m_tree->mapToGlobal(QPoint(x, y)));
    }
}
