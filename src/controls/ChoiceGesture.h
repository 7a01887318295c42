#pragma once

#include <QModelIndex>
#include <QPersistentModelIndex>

// Decides whether a press and release of the left button on an item view chose an item. The list
// and the tree follow one rule for every input: a change of the highlighted item chooses it, and a
// click on the highlighted item chooses it again. Without that, a drag from one item to another
// would move the highlight while the window still shows (and would save into) the item before.
class ChoiceGesture {
public:
    void begin(const QModelIndex& highlighted, const QModelIndex& pressed) {
        m_highlightedBefore = highlighted;
        m_pressed = pressed;
        m_active = true;
    }
    // True when the gesture that ends here chose `highlighted`. A release without a press (the
    // press went to a menu or another window) chooses nothing.
    bool end(const QModelIndex& highlighted, const QModelIndex& released) {
        if (!m_active) {
            return false;
        }
        m_active = false;
        if (!highlighted.isValid()) {
            return false;
        }
        const bool moved = m_highlightedBefore != highlighted;
        const bool clickedHighlighted = m_pressed == released && released == highlighted;
        return moved || clickedHighlighted;
    }
    void cancel() { m_active = false; }

private:
    QPersistentModelIndex m_highlightedBefore;
    QPersistentModelIndex m_pressed;
    bool m_active = false;
};
