#pragma once

#include <QString>
#include <QStringList>
#include <QVariantList>
#include <vector>

// One table of an old data file, as far as the program uses it.
struct OldTable {
    QString name;        // as the program spells it: Quorvane_Type, Quorvane_Pass, Quorvane_Login
    QStringList columns; // the columns that are copied, ID first
    // The rows in the order the file holds them; each value a qint64, a QString (every UTF-16
    // unit, U+0000 included) or a null QVariant for Null.
    std::vector<QVariantList> rows;
    // The last key the old engine handed out for this table (it may exceed the highest key left
    // when the newest rows were deleted); 0 when the table has no counter.
    qint64 lastAutoNumber = 0;
};

// The three tables of a vault written by the old Windows program.
struct OldVault {
    OldTable categories;
    OldTable entries;
    OldTable logins;
};

// Reads the three tables of an old data file (a Jet 4.0 database, pages encoded or not; the
// database password is not needed to read it). The file is opened read-only and never changed.
// Throws VaultError (EngineFailure) with a description naming the file when the file is no Jet 4
// file, lacks a table or column, or holds a value no Jet writer could have produced.
OldVault readOldVault(const QString& path);

enum class JetHeader { NotJet, Jet3, Jet4, LaterJet };
// What the first page of a file says it is ("Standard Jet DB" at offset 4, version at 0x14).
JetHeader jetHeaderOf(const QString& path);
