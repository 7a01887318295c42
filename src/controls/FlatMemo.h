#pragma once

#include "BackColor.h"

#include <QColor>
#include <QPlainTextEdit>

// The several-line edit field (with a vertical scroll bar) of the detail pane.
//
// The text editor turns what it is given into paragraphs: CR LF and a lone CR come back as LF,
// U+2028 and U+2029 as LF, U+00A0 as a space. A remark written elsewhere must not change because
// the user saved some other field, so the field hands back exactly the text it was given for as
// long as the user has not changed what it shows.
class FlatMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit FlatMemo(QWidget* parent = nullptr);

    QString text() const;
    void setText(const QString& text);
    QColor backColor() const { return m_backColor; }
    void setBackColor(const QColor& color);

private:
    QString m_given;
    QString m_shownForGiven; // the document's raw text right after m_given was set
    QColor m_backColor = BackColors::Writable;
};
