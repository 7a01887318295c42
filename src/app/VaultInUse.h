#pragma once

#include <QString>

class QWidget;
class VaultLock;
struct Platform;

// Takes the data file for this run. When another running program has it open, says so in a
// "提示！" box and ends the program: returns false then. Where no lock file can be made the run goes
// on without one: nothing can be written beside the data file there, so nothing can be overwritten.
bool holdVaultForThisRun(VaultLock& lock, Platform& platform, QWidget* parent, const QString& dataFile);
