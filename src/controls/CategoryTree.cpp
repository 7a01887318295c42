#include "CategoryTree.h"

#include <QFileInfo>
#include <QImageReader>
#include <QKeyEvent>
#include <QMouseEvent>
#include <stdexcept>
#include <string>

CategoryTree::CategoryTree(QWidget* parent) : QTreeWidget(parent) {
    setColumnCount(1);
    setHeaderHidden(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    // The right button belongs to the category menu the window opens on mouseButton(2): no
    // context-menu event may go to the window as well.
    setContextMenuPolicy(Qt::PreventContextMenu);
    viewport()->setContextMenuPolicy(Qt::PreventContextMenu);
}

void CategoryTree::clearNodes() {
    clear();
    m_nodes.clear();
}

// Every rebuild loads both states again, so each state keeps only its latest file and the icon is
// put together afresh from the two.
void CategoryTree::loadIcon(const QString& file, int state) {
    QImageReader reader(file);
    const bool readable = QFileInfo(file).isFile() && reader.canRead();
    if (state == 0) {
        m_normalIconFile = readable ? file : QString();
    } else if (state == 2) {
        m_selectedIconFile = readable ? file : QString();
    } else {
        return;
    }
    m_icon = QIcon();
    if (!m_normalIconFile.isEmpty()) {
        m_icon.addFile(m_normalIconFile, QSize(), QIcon::Normal, QIcon::Off);
    }
    if (!m_selectedIconFile.isEmpty()) {
        m_icon.addFile(m_selectedIconFile, QSize(), QIcon::Selected, QIcon::Off);
    }
    for (QTreeWidgetItem* node : std::as_const(m_nodes)) {
        node->setIcon(0, m_icon);
    }
}

QTreeWidgetItem* CategoryTree::addNode(qint64 relativeKey, qint64 key, const QString& text) {
    QTreeWidgetItem* parentNode = nullptr;
    if (relativeKey >= 0) {
        parentNode = m_nodes.value(relativeKey, nullptr);
        if (parentNode == nullptr) {
            throw std::invalid_argument("找不到关键字为 " + std::to_string(relativeKey) + " 的节点");
        }
    }
    if (m_nodes.contains(key)) {
        throw std::invalid_argument("关键字 " + std::to_string(key) + " 已被另一个节点使用");
    }
    auto* node = new QTreeWidgetItem(QStringList{text});
    node->setData(0, Qt::UserRole, QVariant::fromValue<qint64>(key));
    node->setIcon(0, m_icon);
    if (parentNode != nullptr) {
        parentNode->addChild(node);
    } else {
        addTopLevelItem(node);
    }
    m_nodes.insert(key, node);
    return node;
}

qint64 CategoryTree::nodeKey(const QTreeWidgetItem* node) {
    if (node == nullptr) {
        throw std::invalid_argument("没有节点，也就没有关键字");
    }
    return node->data(0, Qt::UserRole).toLongLong();
}

QTreeWidgetItem* CategoryTree::selectedNode() const {
    const QList<QTreeWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

void CategoryTree::removeNode(QTreeWidgetItem* node) {
    if (node == nullptr || node->treeWidget() != this) {
        return;
    }
    forgetKeys(node);
    const bool selectionGoes = !selectedItems().isEmpty() && m_nodes.key(selectedNode(), -1) == -1;
    delete node;
    if (selectionGoes) {
        clearSelection();
        setCurrentItem(nullptr);
    }
}

void CategoryTree::forgetKeys(QTreeWidgetItem* node) {
    m_nodes.remove(node->data(0, Qt::UserRole).toLongLong());
    for (int i = 0; i < node->childCount(); ++i) {
        forgetKeys(node->child(i));
    }
}

QModelIndex CategoryTree::selectedIndex() const {
    QTreeWidgetItem* node = selectedNode();
    return node == nullptr ? QModelIndex() : indexFromItem(node);
}

void CategoryTree::keyPressEvent(QKeyEvent* event) {
    QTreeWidgetItem* before = selectedNode();
    QTreeWidget::keyPressEvent(event);
    QTreeWidgetItem* after = selectedNode();
    if (after != nullptr && after != before) {
        emit nodeClicked(after);
    }
}

// Reports the button first, then lets the tree do its own work. Only the left button moves the
// selection: the category menu of the right button acts on the node the user selected before and
// must not silently retarget it, and the middle button has no task here.
void CategoryTree::mousePressEvent(QMouseEvent* event) {
    const QPoint at = viewport()->mapTo(this, event->position().toPoint());
    int button = 0;
    switch (event->button()) {
    case Qt::LeftButton:
        button = 1;
        break;
    case Qt::RightButton:
        button = 2;
        break;
    case Qt::MiddleButton:
        button = 4;
        break;
    default:
        break;
    }
    if (button != 0) {
        emit mouseButton(button, at.x(), at.y());
    }
    if (event->button() != Qt::LeftButton) {
        m_gesture.cancel();
        setFocus(Qt::MouseFocusReason);
        event->accept();
        return;
    }
    // A press on a node's expand arrow opens or closes it and chooses nothing.
    QTreeWidgetItem* pressed = itemAt(event->position().toPoint());
    const bool wasExpanded = pressed != nullptr && pressed->isExpanded();
    const QModelIndex before = selectedIndex();
    QTreeWidget::mousePressEvent(event);
    if (pressed != nullptr && pressed->isExpanded() != wasExpanded && selectedIndex() == before) {
        m_gesture.cancel();
        return;
    }
    m_gesture.begin(before, pressed == nullptr ? QModelIndex() : indexFromItem(pressed));
}

void CategoryTree::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    QTreeWidget::mouseReleaseEvent(event);
    QTreeWidgetItem* released = itemAt(event->position().toPoint());
    if (m_gesture.end(selectedIndex(), released == nullptr ? QModelIndex() : indexFromItem(released))) {
        emit nodeClicked(selectedNode());
    }
}

// Qt may handle a double click on another node as a fresh press of its own.
void CategoryTree::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    QTreeWidgetItem* before = selectedNode();
    QTreeWidget::mouseDoubleClickEvent(event);
    if (selectedNode() != nullptr && selectedNode() != before) {
        m_gesture.cancel();
        emit nodeClicked(selectedNode());
    }
}
