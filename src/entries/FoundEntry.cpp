#include "FoundEntry.h"

#include "EntryPane.h"
#include "controls/CategoryTree.h"
#include "controls/CheckListBox.h"

void showFoundEntry(EntryPane& pane, const EntryPaneWidgets& widgets, qint64 categoryKey, qint64 entryKey) {
    QTreeWidgetItem* node = widgets.tree->nodeByKey(categoryKey);
    if (node == nullptr) {
        return;
    }
    widgets.tree->setCurrentItem(node);
    widgets.tree->scrollToItem(node);
    pane.LoadEntryList(categoryKey);
    CheckListBox& list = *widgets.list;
    for (int row = 0; row < list.itemCount(); ++row) {
        if (list.itemData(row) == entryKey) {
            list.setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
            list.scrollToItem(list.item(row));
            pane.ShowEntry();
            return;
        }
    }
}
