#pragma once

#include <QString>
#include <functional>

class CategoryTree;
class Module;
class QAction;
class QWidget;
class frmType;
struct Platform;

// The three commands of the tree's pop-up menu: new sub-category, new name, delete.
class CategoryCommands {
public:
    // rebuildTree is the main window's GJTree; programFolder gives the dialog its icon.
    CategoryCommands(Module& module, Platform& platform, CategoryTree& tree, QWidget* owner,
                     std::function<void()> rebuildTree, QString programFolder = {});

    // Connects the pop-up menu's entries to the commands below: an error in New or Edit ends the
    // program, an error in Del is reported and the program goes on.
    void connectHandlers(QAction& newAction, QAction& editAction, QAction& delAction);

    void New();
    void Edit();
    void Del();

    // How the category dialog is shown once it has loaded: modally by default. Tests replace it
    // to type into the dialog and press its buttons without a nested event loop.
    using DialogRunner = std::function<void(frmType&)>;
    void setDialogRunner(DialogRunner runner) { m_dialogRunner = std::move(runner); }

private:
    void showCategoryDialog(int mode, const QString& refusal);
    void refuse(const QString& text);

    Module& m_module;
    Platform& m_platform;
    CategoryTree& m_tree;
    QWidget* m_owner;
    std::function<void()> m_rebuildTree;
    QString m_programFolder;
    DialogRunner m_dialogRunner;
};
