#pragma once

#include "Clipboard.h"
#include "MessageBoxes.h"
#include "ProcessStarter.h"
#include "ProgramEnd.h"
#include "Registry.h"
#include "Shell.h"

// The desktop as the windows see it. main() hands in the real implementations, tests the fakes.
struct Platform {
    MessageBoxes& boxes;
    Clipboard& clipboard;
    Shell& shell;
    Registry& registry;
    ProcessStarter& processes;
    ProgramEnd& programEnd;
};
