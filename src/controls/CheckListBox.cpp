#include "CheckListBox.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <stdexcept>
#include <string>

CheckListBox::CheckListBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    // Every item is one line of text in the list's font beside a tick box, so one item's size is
    // every item's: the list then lays out 100,000 entries without measuring each of them.
    setUniformItemSizes(true);
}

void CheckListBox::clearItems() {
    clear();
    clearSelection();
    setCurrentIndex(QModelIndex());
}

void CheckListBox::addItemWithData(const QString& text, qint64 itemData) {
    auto* item = new QListWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
    item->setData(Qt::UserRole, QVariant::fromValue<qint64>(itemData));
    addItem(item);
}

qint64 CheckListBox::itemData(int index) const {
    return checkedItem(index)->data(Qt::UserRole).toLongLong();
}

// Qt keeps a current row even when nothing is highlighted (it sets one when the list takes the
// focus): only a row that is also selected counts.
int CheckListBox::selectedIndex() const {
    const QModelIndex current = currentIndex();
    if (!current.isValid() || !selectionModel()->isSelected(current)) {
        return -1;
    }
    return current.row();
}

bool CheckListBox::isTicked(int index) const {
    return checkedItem(index)->checkState() == Qt::Checked;
}

void CheckListBox::setTicked(int index, bool ticked) {
    checkedItem(index)->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
}

// Removing the highlighted item leaves nothing highlighted, as a list box does; Qt would otherwise
// move the current row to a neighbour.
void CheckListBox::removeItemAt(int index) {
    checkedItem(index);
    const bool wasSelected = selectedIndex() == index;
    delete takeItem(index);
    if (wasSelected) {
        clearSelection();
        setCurrentIndex(QModelIndex());
    }
}

// The keyboard moves the highlight as a click does, so it reports the same way: whoever lists the
// chosen entry must not show a stale one after an arrow key.
void CheckListBox::keyPressEvent(QKeyEvent* event) {
    const int before = selectedIndex();
    QListWidget::keyPressEvent(event);
    const int after = selectedIndex();
    if (after != -1 && after != before) {
        emit clicked();
    }
}

QModelIndex CheckListBox::highlightedIndex() const {
    const int row = selectedIndex();
    return row == -1 ? QModelIndex() : model()->index(row, 0);
}

// Only the left button moves the highlight. The right and the middle button, and a press below
// the last item, leave it where it is, so the window never shows one entry while another is
// highlighted.
void CheckListBox::mousePressEvent(QMouseEvent* event) {
    const QModelIndex pressed = indexAt(event->position().toPoint());
    if (event->button() != Qt::LeftButton || !pressed.isValid()) {
        m_gesture.cancel();
        setFocus(Qt::MouseFocusReason);
        event->accept();
        return;
    }
    m_gesture.begin(highlightedIndex(), pressed);
    QListWidget::mousePressEvent(event);
    // A press on an item's tick box makes that item the highlighted one as well, as the list box of
    // the desktop the program comes from does: the tick and the highlight then name the same entry.
    if (selectedIndex() != pressed.row()) {
        selectionModel()->setCurrentIndex(pressed, QItemSelectionModel::ClearAndSelect);
    }
}

void CheckListBox::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    QListWidget::mouseReleaseEvent(event);
    if (m_gesture.end(highlightedIndex(), indexAt(event->position().toPoint()))) {
        emit clicked();
    }
}

// Qt may handle a double click on another item as a fresh press of its own.
void CheckListBox::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    const int before = selectedIndex();
    QListWidget::mouseDoubleClickEvent(event);
    if (selectedIndex() != -1 && selectedIndex() != before) {
        m_gesture.cancel();
        emit clicked();
    }
}

QListWidgetItem* CheckListBox::checkedItem(int index) const {
    QListWidgetItem* found = index >= 0 ? item(index) : nullptr;
    if (found == nullptr) {
        throw std::out_of_range("列表项索引无效：" + std::to_string(index));
    }
    return found;
}
