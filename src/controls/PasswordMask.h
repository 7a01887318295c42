#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QLineEdit>
#include <QString>

// Every password field of the program masks with "*", not the platform's bullet.
inline const QString AsteriskMaskRule = QStringLiteral("lineedit-password-character: 42; ");

// A line edit takes its mask character from the style only when it is told the style changed. A
// sheet of its own, set while a parent's sheet (the skin) already styles it, is neither announced
// that way nor read before the field is polished, and the field would go on masking with the
// bullet it was made with.
inline void refreshPasswordCharacter(QLineEdit& field) {
    field.ensurePolished();
    QEvent styleChanged(QEvent::StyleChange);
    QCoreApplication::sendEvent(&field, &styleChanged);
}

// For a plain line edit (the login's): its own sheet carries the mask.
inline void maskWithAsterisk(QLineEdit& field) {
    field.setStyleSheet(QStringLiteral("QLineEdit { %1}").arg(AsteriskMaskRule));
    refreshPasswordCharacter(field);
    field.setEchoMode(QLineEdit::Password);
}
