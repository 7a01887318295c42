#include "FlatMemo.h"

#include "BackColor.h"

FlatMemo::FlatMemo(QWidget* parent) : QPlainTextEdit(parent) {
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setBackColor(m_backColor);
}

void FlatMemo::setBackColor(const QColor& color) {
    applyBackColor(*this, m_backColor, color, "FlatMemo");
}
