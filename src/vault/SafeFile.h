#pragma once

#include <QString>

struct sqlite3;

// The file handling every writer of a secret-bearing file shares: a name is claimed, never taken
// over; a finished file gets its name without replacing another; what must survive a power cut
// is synced. Failures come back as errno values so that each caller words them for its own task.
namespace SafeFile {

struct Created {
    int fd = -1;             // open for writing, mode exactly 0600; -1 on failure
    int error = 0;           // the errno of the failure
    bool modeFailed = false; // the file was made but its mode could not be set; it is removed again
};

// Creates `path` for writing only if no file of that name exists, not even one that appears between
// a check and the create. The umask may take away more than group and other bits, so the mode is
// set again on the open file. The caller closes fd.
Created createExclusive(const QString& path);

// Gives `from` the name `to` unless `to` exists (EEXIST then); 0 or errno. Where the file system
// cannot rename without replacing, falls back to renameByLink.
int renameNoReplace(const QString& from, const QString& to);

// A hard link refuses an existing name just as surely; the old name is dropped once the new one
// stands. 0 or errno.
int renameByLink(const QString& from, const QString& to);

// fsync of the file's contents; 0 or errno.
int syncFile(const QString& path);

// fsync of a folder, so that a rename or create in it survives a power cut; 0 or errno.
int syncFolder(const QString& folder);

// The system's words for an errno value.
QString systemMessage(int error);

// The engine's words for a failure: its last message on `db`, or the text of `rc` without one.
QString engineMessage(sqlite3* db, int rc);

} // namespace SafeFile
