#include "CategoryTreeBuilder.h"

#include "controls/CategoryTree.h"
#include "vault/Module.h"
#include "vault/RootCategory.h"
#include "vault/Statements.h"

#include <QSignalBlocker>
#include <QTreeWidgetItem>
#include <utility>

CategoryTreeBuilder::CategoryTreeBuilder(Module& module, CategoryTree& tree, QString programFolder)
    : m_module(module), m_tree(tree), m_programFolder(std::move(programFolder)) {}

void CategoryTreeBuilder::GJTree() {
    m_tree.clearNodes();
    // Loaded on every rebuild, so icons replaced in the program's folder show up at once.
    m_tree.loadIcon(m_programFolder + QStringLiteral("/Icons/00032.ico"), 0);
    m_tree.loadIcon(m_programFolder + QStringLiteral("/Icons/00023.ico"), 2);

    // The root row is never read: its Name is not shown and its Seq belongs to the master password.
    QTreeWidgetItem* root = m_tree.addNode(-1, RootCategory::Key, QStringLiteral("全部分类"));
    // The nodes are put together off the view and shown in one go: a view told of each new node
    // on its own renumbers and lays out its rows each time, which for thousands of categories
    // costs many times the reading of them.
    m_tree.takeTopLevelItem(m_tree.indexOfTopLevelItem(root));
    const auto show = [&] {
        m_tree.addTopLevelItem(root);
        // Every node, leaves included, ends up expanded, as each would be once its children are
        // in; the view is told in one pass rather than node by node.
        const QSignalBlocker quiet(m_tree);
        m_tree.expandRecursively(m_tree.model()->index(m_tree.indexOfTopLevelItem(root), 0));
    };
    try {
        // One state of the file for the whole build, read without taking the file per level.
        const ReadingScope reading(m_module.VaultConnection);
        GXTree(RootCategory::Key);
    } catch (...) {
        show(); // what was read so far stays on screen, as it would have been node by node
        throw;
    }
    show();
}

void CategoryTreeBuilder::GXTree(qint64 PID) {
    m_module.SqlText = Statements::childCategories(PID);
    // A result set of this level's own: the shared one would be replaced by the recursion below
    // while this level still reads from it.
    Recordset level;
    level.open(m_module.SqlText, m_module.VaultConnection);
    const qint64 count = level.recordCount();
    for (qint64 i = 1; i <= count; ++i) {
        const qint64 id = level.integer(QStringLiteral("ID"));
        // The program never writes a Null name; one put there by another tool shows as an empty
        // node rather than making the whole vault unopenable.
        const QString name = level.value(QStringLiteral("Name")).toString();
        // In a damaged file the PID links can loop back to a category already shown (the root
        // row naming a child as its parent, say). Such a row is skipped: showing it again would
        // repeat its key and recurse without end.
        if (m_tree.nodeByKey(id) == nullptr) {
            QTreeWidgetItem* node = m_tree.addNode(PID, id, name);
            GXTree(id);
            node->setExpanded(true); // off the view (a whole rebuild) this waits for expandAll
        }
        level.moveNext();
    }
    level.close();
}
