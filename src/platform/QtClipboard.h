#pragma once

#include "Clipboard.h"

// The desktop clipboard.
class QtClipboard : public Clipboard {
public:
    void clear() override;
    void setSecretText(const QString& text) override;
};
