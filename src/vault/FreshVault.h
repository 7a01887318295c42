#pragma once

#include <QString>

// Writes a fresh, encrypted data file: the three tables, their indexes, the root category row
// (ID 1, PID -1) and the login row (ID 1, Pass Null), readable by the owner only (mode 0600).
// Never touches an existing file: when filePath exists it throws VaultError and leaves it be.
void createFreshVault(const QString& filePath);
