#pragma once

#include <QColor>
#include <QLineEdit>

// A one-line edit field with the operations the windows use: a password character
// ("*" masks the text, empty shows it) and a back colour.
class FlatEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit FlatEdit(QWidget* parent = nullptr);

    QString passwordChar() const;
    void setPasswordChar(const QString& character);
    QColor backColor() const { return m_backColor; }
    void setBackColor(const QColor& color);

private:
    QColor m_backColor{Qt::white};
};
