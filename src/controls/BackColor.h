#pragma once

#include <QColor>
#include <QLatin1String>
#include <QString>
#include <QWidget>

// The back colours of the fields: open to input, and closed to it (the read-only mode, a field the
// dialog does not ask for). Every field starts open.
namespace BackColors {
inline const QColor Writable{255, 255, 255};
inline const QColor ReadOnly{224, 224, 224};
} // namespace BackColors

// The window's skin is a style sheet, and a style sheet overrides the palette, so a control's
// back colour goes into a style sheet of the control's own: it wins over the window's rules
// whatever their specificity, while the skin's borders and padding still apply. The selector
// (the control's class) keeps the rule off child widgets such as scroll bars and drop-down
// lists. Re-polishing is costly, so an unchanged colour leaves the sheet alone. True when the
// sheet was set.
inline bool applyBackColor(QWidget& control, QColor& current, const QColor& wanted, const char* className,
                           const QString& moreRules = {}) {
    if (wanted == current && !control.styleSheet().isEmpty()) {
        return false;
    }
    current = wanted;
    control.setStyleSheet(
        QStringLiteral("%1 { background-color: %2; %3}").arg(QLatin1String(className), wanted.name(), moreRules));
    return true;
}
