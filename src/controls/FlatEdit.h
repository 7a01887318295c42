#pragma once

#include "BackColor.h"

#include <QColor>
#include <QLineEdit>

// A one-line edit field with the operations the windows use: a password character
// ("*" masks the text, empty shows it) and a back colour. It holds a text of any length: a value
// is never cut to fit.
class FlatEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit FlatEdit(QWidget* parent = nullptr);

    // Shows the text from its first character, as a field that was just filled should; Qt would
    // leave the cursor, and so the view, at its end.
    void setText(const QString& text);

    QString passwordChar() const;
    void setPasswordChar(const QString& character);
    QColor backColor() const { return m_backColor; }
    void setBackColor(const QColor& color);

private:
    QColor m_backColor = BackColors::Writable;
};
