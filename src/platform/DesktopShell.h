#pragma once

#include "Shell.h"

// The desktop's open verb: xdg-open, which hands the target to the program the user's desktop
// associates with it (a web address to the browser).
class DesktopShell : public Shell {
public:
    bool open(const QString& target) override;
};
