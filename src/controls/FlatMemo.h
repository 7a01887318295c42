#pragma once

#include <QColor>
#include <QPlainTextEdit>

// The several-line edit field (with a vertical scroll bar) of the detail pane.
class FlatMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit FlatMemo(QWidget* parent = nullptr);

    QString text() const { return toPlainText(); }
    void setText(const QString& text) { setPlainText(text); }
    QColor backColor() const { return m_backColor; }
    void setBackColor(const QColor& color);

private:
    QColor m_backColor{Qt::white};
};
