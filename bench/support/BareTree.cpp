#include "BareTree.h"

#include <QHash>
#include <QTreeWidget>
#include <QTreeWidgetItem>

int fillBareCategoryTree(sqlite3* db, QTreeWidget& tree) {
    auto* root = new QTreeWidgetItem(QStringList{QStringLiteral("全部分类")});
    QHash<qint64, QTreeWidgetItem*> byKey;
    byKey.insert(1, root);
    int nodes = 1;
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, "Select * from Quorvane_Type Order by PID,Seq,ID", -1, &statement, nullptr);
    while (sqlite3_step(statement) == SQLITE_ROW) {
        const qint64 id = sqlite3_column_int64(statement, 0);
        QTreeWidgetItem* parent = byKey.value(sqlite3_column_int64(statement, 1));
        if (parent == nullptr) {
            continue; // the root row, or one the walk would not reach
        }
        auto* node = new QTreeWidgetItem(
            parent, QStringList{QString(static_cast<const QChar*>(sqlite3_column_text16(statement, 2)),
                                        sqlite3_column_bytes16(statement, 2) / 2)});
        node->setData(0, Qt::UserRole, QVariant::fromValue<qint64>(id));
        byKey.insert(id, node);
        ++nodes;
    }
    sqlite3_finalize(statement);
    tree.addTopLevelItem(root);
    tree.expandAll();
    return nodes;
}
