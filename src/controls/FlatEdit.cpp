#include "FlatEdit.h"

FlatEdit::FlatEdit(QWidget* parent) : QLineEdit(parent) {
    setBackColor(m_backColor);
}

QString FlatEdit::passwordChar() const {
    return echoMode() == QLineEdit::Normal ? QString() : QStringLiteral("*");
}

// Any character masks the text; the windows only ever hand in "*" or the empty text.
void FlatEdit::setPasswordChar(const QString& character) {
    setEchoMode(character.isEmpty() ? QLineEdit::Normal : QLineEdit::Password);
}

// The window's skin is a style sheet, and a style sheet overrides the palette, so the colour goes
// into a style sheet of the field's own: it wins over the window's rules whatever their
// specificity, while the skin's border and padding still apply. The selector keeps the rule off
// any child widget.
// The mask is "*", as the password character says, not the platform's bullet. Re-polishing is
// costly, so an unchanged colour leaves the sheet alone.
void FlatEdit::setBackColor(const QColor& color) {
    if (color == m_backColor && !styleSheet().isEmpty()) {
        return;
    }
    m_backColor = color;
    setStyleSheet(
        QStringLiteral("FlatEdit { background-color: %1; lineedit-password-character: 42; }").arg(color.name()));
}
