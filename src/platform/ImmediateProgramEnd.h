#pragma once

#include "ProgramEnd.h"

// Ends the process on the spot.
class ImmediateProgramEnd : public ProgramEnd {
public:
    [[noreturn]] void endProgram(int exitCode) override;
};
