#include "FlatMemo.h"

FlatMemo::FlatMemo(QWidget* parent) : QPlainTextEdit(parent) {
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setBackColor(m_backColor);
}

// As FlatEdit: a style sheet of the field's own beats the window's skin. The selector keeps the
// colour off the scroll bar.
void FlatMemo::setBackColor(const QColor& color) {
    if (color == m_backColor && !styleSheet().isEmpty()) {
        return;
    }
    m_backColor = color;
    setStyleSheet(QStringLiteral("FlatMemo { background-color: %1; }").arg(color.name()));
}
