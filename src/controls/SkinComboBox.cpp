#include "SkinComboBox.h"

SkinComboBox::SkinComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(false);
    setBackColor(m_backColor);
}

void SkinComboBox::setBackColor(const QColor& color) {
    applyBackColor(*this, m_backColor, color, "SkinComboBox");
}

void SkinComboBox::setText(const QString& text) {
    const int index = findText(text, Qt::MatchExactly);
    setCurrentIndex(index >= 0 ? index : (count() > 0 ? 0 : -1));
}
