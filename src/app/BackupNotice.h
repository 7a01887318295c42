#pragma once

class Connection;
struct Platform;

// Before the first write of this run the connection copies the data file into Backup/. A copy that
// cannot be written is told once in a "提示！" box over the active window; the write goes ahead.
void armBackupBeforeFirstWrite(Connection& connection, Platform& platform);
