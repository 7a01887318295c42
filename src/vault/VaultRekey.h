#pragma once

#include <QByteArray>
#include <QString>
#include <QVariantList>

class Connection;

// Turns the protection of the open data file on or off, or moves it to a new master password, by
// writing the whole file anew under the new key. The copy is made beside the file, proved, synced,
// and only then renamed over it: a kill at any instant leaves either the old file (the old key
// opens it) or the new one (the new key opens it), never a file that neither opens.
namespace VaultRekey {

// The program's own database password, as the connection's connection text names it.
QByteArray databasePasswordKey(const Connection& connection);

// Rewrites the connection's file under newKey and reopens the connection with it. When
// loginUpdate is given, that statement (with its parameters) runs on the copy before the copy
// takes the file's name, so that the key and what it is checked against change together.
// The connection's backup-before-first-write runs first. Throws VaultError; the file then stays
// as it was.
void rekey(Connection& connection, const QByteArray& newKey, const QString& loginUpdate = {},
           const QVariantList& parameters = {});

// Leftovers of a re-key that was killed before its rename, in the folder of the data file.
void removeLeftovers(const QString& dataFile);

} // namespace VaultRekey
