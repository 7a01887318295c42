#pragma once

#include <functional>

class CategoryTree;
class Module;
class QWidget;
struct Platform;

// The three commands of the tree's pop-up menu: new sub-category, new name, delete.
class CategoryCommands {
public:
    CategoryCommands(Module& module, Platform& platform, CategoryTree& tree, QWidget* owner,
                     std::function<void()> rebuildTree);

    void New();
    void Edit();
    void Del();

private:
    void showCategoryDialog(int mode);

    Module& m_module;
    Platform& m_platform;
    CategoryTree& m_tree;
    QWidget* m_owner;
    std::function<void()> m_rebuildTree;
};
