#pragma once

#include <QString>

class CategoryTree;
class Module;

// Fills the category tree from Quorvane_Type, depth first, one query per category, each node
// expanded once its children are in. Errors (VaultError) go to the caller's trap.
class CategoryTreeBuilder {
public:
    CategoryTreeBuilder(Module& module, CategoryTree& tree, QString programFolder);

    // Rebuilds the whole tree under the fixed root node "全部分类" (key 1).
    void GJTree();
    // Adds below the node with key PID one node per category whose PID it is, each with its sub-tree.
    void GXTree(qint64 PID);

private:
    Module& m_module;
    CategoryTree& m_tree;
    QString m_programFolder;
};
