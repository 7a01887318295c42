#include "SkinComboBox.h"

SkinComboBox::SkinComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(false);
    setBackColor(m_backColor);
}

// As FlatEdit: a style sheet of the box's own beats the window's skin; the drop-down list is a
// child of the box and keeps the skin's colours.
void SkinComboBox::setBackColor(const QColor& color) {
    if (color == m_backColor && !styleSheet().isEmpty()) {
        return;
    }
    m_backColor = color;
    setStyleSheet(QStringLiteral("SkinComboBox { background-color: %1; }").arg(color.name()));
}

void SkinComboBox::setText(const QString& text) {
    const int index = findText(text, Qt::MatchExactly);
    setCurrentIndex(index >= 0 ? index : (count() > 0 ? 0 : -1));
}
