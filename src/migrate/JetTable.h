#pragma once

#include "OldVault.h"

#include <QString>

#include <initializer_list>
#include <mdbtools.h>

// Throws the failure to read the old data file at `path`, saying what was wrong with it.
[[noreturn]] void failReading(const QString& path, const QString& what);

enum class JetKind { Integer, Text };
struct JetColumn {
    const char* name;
    JetKind kind;
};

// One table of an open Jet 4 file, the expected columns in their order (ID first). A file that
// lost rows is refused rather than read short: the rows on the table's pages must match the
// count its definition keeps, and every memo must be as long as it declares. `pageCount` bounds
// every page number the file names.
OldTable readJetTable(MdbHandle* mdb, const QString& path, qint64 pageCount, const QString& tableName,
                      std::initializer_list<JetColumn> expectedColumns);
