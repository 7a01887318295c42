#include "ImmediateProgramEnd.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <utility>

// Not QCoreApplication::quit(): that only asks the event loop to stop, so the caller's handler,
// any modal dialog's loop and the windows' close handlers would still run. The program must end
// at once, with nothing more said or done, even from inside a dialog shown during start-up.
// Nothing is lost: every change reached the data file when it was made, and the process's end
// releases the file.
void ImmediateProgramEnd::endProgram(int exitCode) {
    if (m_beforeEnd) {
        std::exchange(m_beforeEnd, nullptr)();
    }
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    std::exit(exitCode);
}
