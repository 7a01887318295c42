#include "FlatEdit.h"

#include "BackColor.h"

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

// The mask is "*", as the password character says, not the platform's bullet.
void FlatEdit::setBackColor(const QColor& color) {
    applyBackColor(*this, m_backColor, color, "FlatEdit", QStringLiteral("lineedit-password-character: 42; "));
}
