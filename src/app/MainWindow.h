#pragma once

#include "entries/EntryCommands.h"
#include "entries/EntryPane.h"
#include "tree/CategoryCommands.h"
#include "tree/CategoryTreeBuilder.h"
#include "vault/ProgramFolders.h"

#include <QMainWindow>
#include <memory>

class CategoryTree;
class CheckListBox;
class FlatEdit;
class FlatMemo;
class LockSignals;
class Module;
class ProtectCommand;
class QMenu;
class QPushButton;
class SkinComboBox;
class SessionLock;
class SkinEngine;
class VaultLock;
struct Platform;

// The main window: tree of categories, entry list, detail pane, menus. The constructor only
// builds the window; load() runs the start-up sequence (connection, skin, login, first-run
// password, tree).
class Main : public QMainWindow {
    Q_OBJECT
public:
    // Vault, skin and icons all in programFolder, the design's layout.
    Main(Module& module, Platform& platform, const QString& programFolder, QWidget* parent = nullptr);
    Main(Module& module, Platform& platform, const ProgramFolders& folders, QWidget* parent = nullptr);
    ~Main() override;

    // The start-up sequence under one error trap. False when it failed (the error was reported and
    // the end of the program requested) or the user left the login.
    bool load();

    void GJTree();

    // Menu commands.
    void Find();
    void Passwode();
    void Lock();
    void Exit();
    void Help();
    void About();

    // The desktop's moments to lock (screen locked, machine asleep) lock the window too.
    void lockOn(LockSignals* source);

    CategoryTree* tree() const { return m_tree; }
    CheckListBox* list() const { return m_paneWidgets.list; }
    SessionLock& sessionLock() { return *m_sessionLock; }
    QMenu* rightMenu() const { return m_rightMenu; }
    EntryPane& entryPane() { return *m_entryPane; }
    EntryCommands& entryCommands() { return *m_entryCommands; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void onTreeMouseButton(int button, int x, int y);

    Module& m_module;
    Platform& m_platform;
    QString m_programFolder; // the skin's and the icons'
    ProgramFolders m_folders;
    std::unique_ptr<VaultLock> m_vaultLock; // held from the start of load() to the end of the run

    CategoryTree* m_tree = nullptr;
    QMenu* m_rightMenu = nullptr;
    EntryPaneWidgets m_paneWidgets;
    std::unique_ptr<SkinEngine> m_skin;
    std::unique_ptr<CategoryTreeBuilder> m_treeBuilder;
    std::unique_ptr<CategoryCommands> m_categoryCommands;
    std::unique_ptr<EntryPane> m_entryPane;
    std::unique_ptr<EntryCommands> m_entryCommands;
    std::unique_ptr<ProtectCommand> m_protectCommand;
    SessionLock* m_sessionLock = nullptr;
};
