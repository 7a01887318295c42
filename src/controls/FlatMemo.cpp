#include "FlatMemo.h"

#include <QTextDocument>

FlatMemo::FlatMemo(QWidget* parent) : QPlainTextEdit(parent) {
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setBackColor(m_backColor);
}

void FlatMemo::setText(const QString& text) {
    m_given = text;
    setPlainText(text);
    m_shownForGiven = document()->toRawText();
}

// A text the user changed keeps the line ends of the text it replaced (a remark from a Windows-era
// file keeps its CR LF) and the no-break spaces and line separators the user typed or pasted.
QString FlatMemo::text() const {
    const QString shown = document()->toRawText();
    if (shown == m_shownForGiven) {
        return m_given;
    }
    const QString lineEnd = m_given.contains(QStringLiteral("\r\n")) ? QStringLiteral("\r\n") : QStringLiteral("\n");
    QString edited = shown;
    edited.replace(QChar::ParagraphSeparator, lineEnd);
    return edited;
}

void FlatMemo::setBackColor(const QColor& color) {
    applyBackColor(*this, m_backColor, color, "FlatMemo");
}
