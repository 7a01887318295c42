#pragma once

#include <QString>

class ProcessStarter {
public:
    virtual ~ProcessStarter() = default;
    // Starts a program in its own process without waiting for it. False when it could not be started.
    virtual bool startDetached(const QString& program) = 0;
};
