#pragma once

#include <QString>

class Clipboard {
public:
    virtual ~Clipboard() = default;
    virtual void clear() = 0;
    // Puts plain text on the clipboard, marked as a secret so that clipboard managers keep no history of it.
    virtual void setSecretText(const QString& text) = 0;
    // Takes our secret off the clipboard unless something else has been copied since.
    virtual void clearOwnText() = 0;
};
