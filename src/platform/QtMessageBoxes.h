#pragma once

#include "MessageBoxes.h"

// Message boxes as Qt draws them; Qt's Chinese translation names the buttons.
class QtMessageBoxes : public MessageBoxes {
public:
    BoxAnswer show(QWidget* parent, const QString& text, const QString& title, BoxButtons buttons,
                   BoxIcon icon) override;
};
