#pragma once

class ProgramEnd {
public:
    virtual ~ProgramEnd() = default;
    // Ends the program at once: no closing handler of any window runs. The fake only records the call,
    // so a caller returns right after it.
    virtual void endProgram(int exitCode) = 0;
};
