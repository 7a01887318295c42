#pragma once

#include "ProgramEnd.h"

#include <functional>

// Ends the process on the spot.
class ImmediateProgramEnd : public ProgramEnd {
public:
    // Runs right before the end: what must not outlive the program (a secret on the clipboard).
    void setBeforeEnd(std::function<void()> beforeEnd) { m_beforeEnd = std::move(beforeEnd); }
    [[noreturn]] void endProgram(int exitCode) override;

private:
    std::function<void()> m_beforeEnd;
};
