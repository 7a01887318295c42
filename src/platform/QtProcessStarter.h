#pragma once

#include "ProcessStarter.h"

class QtProcessStarter : public ProcessStarter {
public:
    bool startDetached(const QString& program) override;
};
