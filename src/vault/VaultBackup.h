#pragma once

#include <QDateTime>
#include <QString>
#include <functional>

class Connection;
class VaultError;

// Copies of the data file in the folder Backup/ beside it, one per run that writes, so that a
// mistaken delete or a damaged file can be undone by copying a backup over DB.xml.
namespace VaultBackup {

inline constexpr int KeepNewest = 10;

// <folder of the data file>/Backup
QString folderFor(const QString& vaultFile);

// Our own backup names: DB-YYYYMMDD-HHMMSS.xml, with -N before ".xml" when two runs start within
// the same second. Only files of this form are ever pruned.
bool isBackupName(const QString& fileName);

// Half-written copies: .DB-<pid>-<8 hex digits>.part (and a journal beside one, from earlier
// versions). Only files of this form are ever cleared away, and only those of a process that is gone.
bool isLeftoverName(const QString& fileName);

// Copies the bytes of the connection's file while the connection holds it for reading, so the copy
// is of one consistent state even while another program writes; proves that the copy opens with
// the connection's key, holds the vault's tables and is as long as its header says, and gives it a
// name by `when` that no other file has (mode 0600). Clears away copies a killed run left half-written, then prunes the
// folder to the newest KeepNewest backups. Returns the path of the copy; throws VaultError when no copy could be
// written.
QString write(Connection& connection, const QDateTime& when = QDateTime::currentDateTime());

// Removes our own backups in `folder` beyond the newest `keep`, newest by when the files were last
// written (not by the time in their names); a file dated after `now` lost track of time and counts
// as older than every other. `spare` (the copy just written) is never removed. Every other file
// stays.
void prune(const QString& folder, int keep = KeepNewest, const QString& spare = {},
           const QDateTime& now = QDateTime::currentDateTime());

// The hook a connection runs before its first write: writes a backup; a failure goes to `report`
// and does not stop the write.
std::function<void(Connection&)> beforeFirstWrite(std::function<void(const VaultError&)> report);

} // namespace VaultBackup
