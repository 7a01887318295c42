#pragma once

#include "BackColor.h"

#include <QColor>
#include <QComboBox>

// The drop-down list of the detail pane, with a back colour like the edit fields.
class SkinComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit SkinComboBox(QWidget* parent = nullptr);

    QColor backColor() const { return m_backColor; }
    void setBackColor(const QColor& color);
    // Shows a text: selects the item that has it, or the first item when none has it.
    void setText(const QString& text);

private:
    QColor m_backColor = BackColors::Writable;
};
