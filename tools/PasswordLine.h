#pragma once

#include <string>

// The master password for a tool: one line of standard input; on a terminal it is asked for on
// standard error and not echoed.
std::string readPasswordLine();
