#pragma once

#include <QString>

class Shell {
public:
    virtual ~Shell() = default;
    // Hands an address or file to the desktop's open verb, exactly as given. False when the desktop refused.
    virtual bool open(const QString& target) = 0;
};
