#include "FlatEdit.h"

#include "PasswordMask.h"

#include <limits>

FlatEdit::FlatEdit(QWidget* parent) : QLineEdit(parent) {
    // Qt's default limit of 32767 characters would cut a longer pasted or stored value silently.
    setMaxLength(std::numeric_limits<int>::max());
    setBackColor(m_backColor);
}

void FlatEdit::setText(const QString& text) {
    QLineEdit::setText(text);
    setCursorPosition(0);
}

QString FlatEdit::passwordChar() const {
    return echoMode() == QLineEdit::Normal ? QString() : QStringLiteral("*");
}

// Any character masks the text; the windows only ever hand in "*" or the empty text.
void FlatEdit::setPasswordChar(const QString& character) {
    setEchoMode(character.isEmpty() ? QLineEdit::Normal : QLineEdit::Password);
}

void FlatEdit::setBackColor(const QColor& color) {
    if (applyBackColor(*this, m_backColor, color, "FlatEdit", AsteriskMaskRule)) {
        refreshPasswordCharacter(*this);
    }
}
