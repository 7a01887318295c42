#pragma once

#include <QByteArray>
#include <QString>

class Connection;

// A data file protected by the master password: its key is derived from the password
// (VaultKey), so the file opens only once the password is known.
namespace ProtectedVault {

// Recognised by the first bytes alone, before any password is tried.
bool isProtectedFile(const QString& path);

// Opens the connection's file as the program always has, unless it is protected: such a file
// waits for the master password (openWithPassword, or a key from keyForFile and
// Connection::openWithKey).
void openUnlessProtected(Connection& connection);

// The key of the protected file at path for this password. Takes its moment (Argon2id at the
// file's own cost) and touches no connection, so it may run on a thread of its own. Throws
// VaultError when the file is no protected file.
QByteArray keyForFile(const QString& path, const QString& password);
// A key for this password under a fresh header, for protecting a file or changing its password.
QByteArray newKeyFor(const QString& password);

// Closes a protected file and forgets its key, so that no key stays in memory while the program is
// locked; the login opens it again from the password. A file under the program's own key stays open.
void closeAndForgetKey(Connection& connection);

// keyForFile, then Connection::openWithKey. False when the password does not open the file.
bool openWithPassword(Connection& connection, const QString& password);

} // namespace ProtectedVault
