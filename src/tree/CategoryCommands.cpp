#include "CategoryCommands.h"

#include "controls/CategoryTree.h"
#include "frmType.h"
#include "platform/ErrorReport.h"
#include "platform/Platform.h"
#include "vault/Module.h"
#include "vault/RootCategory.h"
#include "vault/Statements.h"

#include <QAction>
#include <QTreeWidgetItem>
#include <utility>

namespace {} // namespace

CategoryCommands::CategoryCommands(Module& module, Platform& platform, CategoryTree& tree, QWidget* owner,
                                   std::function<void()> rebuildTree, QString programFolder)
    : m_module(module), m_platform(platform), m_tree(tree), m_owner(owner), m_rebuildTree(std::move(rebuildTree)),
      m_programFolder(std::move(programFolder)), m_dialogRunner([](frmType& dialog) { dialog.exec(); }) {}

void CategoryCommands::connectHandlers(QAction& newAction, QAction& editAction, QAction& delAction) {
    connectFatal(m_platform, m_owner, &newAction, &QAction::triggered, [this] { New(); });
    connectFatal(m_platform, m_owner, &editAction, &QAction::triggered, [this] { Edit(); });
    connectTrapped(m_platform, m_owner, &delAction, &QAction::triggered, [this] { Del(); });
}

void CategoryCommands::New() {
    showCategoryDialog(frmType::NewCategory, QStringLiteral("请选择需要建下级分类的分类名称！"));
}

void CategoryCommands::Edit() {
    // The root is not refused: its name may change, the dialog keeps its Seq.
    showCategoryDialog(frmType::Rename, QStringLiteral("请选择需要修改的分类名称！"));
}

void CategoryCommands::showCategoryDialog(int mode, const QString& refusal) {
    const QTreeWidgetItem* node = m_tree.selectedNode();
    if (node == nullptr) {
        refuse(refusal);
        return;
    }
    frmType dialog(m_module, m_platform, m_rebuildTree, m_programFolder, m_owner);
    dialog.LX = mode;
    dialog.ID = CategoryTree::nodeKey(node);
    if (dialog.Form_Load()) {
        m_dialogRunner(dialog);
    }
}

void CategoryCommands::refuse(const QString& text) {
    m_platform.boxes.show(m_owner, text, PromptTitle, BoxButtons::Ok, BoxIcon::Exclamation);
}

void CategoryCommands::Del() {
    QTreeWidgetItem* node = m_tree.selectedNode();
    if (node == nullptr) {
        refuse(QStringLiteral("请选择需要删除的分类名称！"));
        return;
    }
    const qint64 n = CategoryTree::nodeKey(node);
    if (n == RootCategory::Key) {
        refuse(QStringLiteral("根级分类不能删除！"));
        return;
    }
    // The file is asked as well as the tree: a sub-category added by another copy of the program
    // since the last rebuild would otherwise be cut off from the root, entries and all.
    const auto refusal = [this, n]() -> QString {
        if (m_module.countRows(Statements::childCategories(n)) > 0) {
            return QStringLiteral("存在下级分类不能删除！");
        }
        if (m_module.countRows(Statements::entriesOfCategoryCount(n)) > 0) {
            return QStringLiteral("存在账号信息不能删除！");
        }
        return {};
    };
    QString refused = node->childCount() > 0 ? QStringLiteral("存在下级分类不能删除！") : refusal();
    if (!refused.isEmpty()) {
        refuse(refused);
        return;
    }
    const BoxAnswer answer = m_platform.boxes.show(m_owner, QStringLiteral("是否真的要删除选中的分类？"),
                                                   QStringLiteral("提示"), BoxButtons::YesNo, BoxIcon::Question);
    if (answer != BoxAnswer::Yes) {
        return;
    }
    {
        // Asked again, in one step with the delete: while the question was up, another program may
        // have filed something below the category, which the delete would cut off from the root.
        WriteTransaction transaction(m_module.VaultConnection);
        refused = refusal();
        if (refused.isEmpty()) {
            m_module.VaultConnection.execute(Statements::deleteCategory(n));
            transaction.commit();
        }
    }
    if (!refused.isEmpty()) {
        refuse(refused);
        return;
    }
    m_tree.removeNode(node);
}
