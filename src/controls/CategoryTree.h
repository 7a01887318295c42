#pragma once

#include "ChoiceGesture.h"

#include <QHash>
#include <QIcon>
#include <QTreeWidget>

// The category tree: nodes carry keys (category IDs), 64-bit numbers in and out. Every node shows
// image 1 of the tree's icon table.
class CategoryTree : public QTreeWidget {
    Q_OBJECT
public:
    explicit CategoryTree(QWidget* parent = nullptr);

    void clearNodes();
    // Loads image 1 of the icon table for one state (0 = normal, 2 = selected). A file that cannot
    // be read leaves the state without a picture and raises nothing.
    void loadIcon(const QString& file, int state);
    // A top-level node (relativeKey < 0) or a child of the node with relativeKey. Throws
    // std::invalid_argument when relativeKey names no node or key is taken.
    QTreeWidgetItem* addNode(qint64 relativeKey, qint64 key, const QString& text);
    QTreeWidgetItem* nodeByKey(qint64 key) const { return m_nodes.value(key, nullptr); }
    // Throws std::invalid_argument for no node.
    static qint64 nodeKey(const QTreeWidgetItem* node);
    QTreeWidgetItem* selectedNode() const;
    // Removes a node (and whatever is below it). When the selected node goes, nothing is selected
    // afterwards: Qt would highlight a neighbour that nobody chose.
    void removeNode(QTreeWidgetItem* node);
    int nodeCount() const { return static_cast<int>(m_nodes.size()); }

signals:
    // The user chose a node; it is already the selected node. Whatever moves the selection (a
    // click, a drag, a key) chooses, and so does a click on the selected node.
    void nodeClicked(QTreeWidgetItem* node);
    // A mouse button went down on the tree: button 1 = left, 2 = right, 4 = middle; x, y in the
    // tree's coordinates. Emitted before the tree reacts; a right press leaves the selection alone.
    void mouseButton(int button, int x, int y);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QModelIndex selectedIndex() const;
    void forgetKeys(QTreeWidgetItem* node);

    QHash<qint64, QTreeWidgetItem*> m_nodes;
    QIcon m_icon;
    QString m_normalIconFile;
    QString m_selectedIconFile;
    ChoiceGesture m_gesture;
};
