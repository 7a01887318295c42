#pragma once

#include "OldVault.h"

#include <QString>

struct ImportCounts {
    qint64 categories = 0;
    qint64 entries = 0;
    qint64 logins = 0;
};

// Writes the rows of an old data file into a new data file at targetFile, exactly as they are
// stored (keys, stored forms unit for unit, Null as Null), and reads the result back through the
// program's own data layer before it is given its name. An existing targetFile is never replaced
// or changed; on any failure nothing is left behind. Leftovers of imports killed earlier in the
// target's folder are removed first (removeImportLeftovers). Throws VaultError.
ImportCounts importOldVault(const QString& oldFile, const QString& targetFile);

// Converts an old data file where it lies: the new data file takes its name, the old file keeps
// its bytes under keptAs (which must not exist), readable by its owner alone. On any failure both
// names are as before.
ImportCounts convertOldVaultInPlace(const QString& dataFile, const QString& keptAs);
// The same with the rows readOldVault(dataFile) already gave, when the caller has shown them.
ImportCounts convertOldVaultInPlace(const OldVault& old, const QString& dataFile, const QString& keptAs);

ImportCounts countsOf(const OldVault& old);

// Removes what an import or conversion killed before it finished left in folder: only files
// named as their hidden working copies (and journals) are, and only those of a process that
// is gone and untouched for a while, so that no running import anywhere loses its file.
// Failures are silent: a leftover is harmless, only untidy.
void removeImportLeftovers(const QString& folder);

// The name beside dataFile under which convertOldVaultInPlace keeps the old file: the first of
// DB-old-Access2000.mdb, DB-old-Access2000-2.mdb, ... that does not exist yet.
QString keptOldVaultName(const QString& dataFile);
