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

    // A field holding a secret lets no plain copy of it out while it is shown: its selection is
    // never offered to other programs (the X11 primary selection would keep it for good), and what
    // the user copies or cuts is handed to secretCopied, for the clipboard that knows to take it
    // off again, instead of being put on the clipboard here.
    bool holdsSecret() const { return m_holdsSecret; }
    void setHoldsSecret(bool holds) { m_holdsSecret = holds; }

signals:
    void secretCopied(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // Takes back the selection the line edit has just offered, if it is this field's secret.
    void withdrawSelection();
    void copySecret(bool cut);

    QColor m_backColor = BackColors::Writable;
    bool m_holdsSecret = false;
};
