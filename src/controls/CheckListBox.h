#pragma once

#include "ChoiceGesture.h"

#include <QListWidget>

// A list box whose items each have a tick box and carry a 64-bit item data (an entry key).
// Indices start at 0; the selected index is -1 while no item is selected.
class CheckListBox : public QListWidget {
    Q_OBJECT
public:
    explicit CheckListBox(QWidget* parent = nullptr);

    void clearItems();
    // Appends an item, unticked.
    void addItemWithData(const QString& text, qint64 itemData);
    // Operations on one item throw std::out_of_range for an index outside 0 .. itemCount() - 1.
    qint64 itemData(int index) const;
    int itemCount() const { return count(); }
    int selectedIndex() const;
    bool isTicked(int index) const;
    void setTicked(int index, bool ticked);
    void removeItemAt(int index);

signals:
    // The user chose an item: whatever moved the highlight (a click, a drag, a key, a click on a
    // tick box), or a click on the highlighted item. No arguments, as the windows expect.
    void clicked();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QModelIndex highlightedIndex() const;
    // The item at index; throws std::out_of_range when there is none.
    QListWidgetItem* checkedItem(int index) const;

    ChoiceGesture m_gesture;
};
