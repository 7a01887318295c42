#pragma once

#include <functional>

// Runs work on a thread of its own while the window stays alive: a busy cursor, paint and timer
// events go on, the user's input waits until the work is done. For work that touches nothing the
// windows use (deriving a key); whatever it throws is thrown here.
void runWithBusyCursor(const std::function<void()>& work);
