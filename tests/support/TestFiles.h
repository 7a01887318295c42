#pragma once

#include <QByteArray>
#include <QString>

// Files a test arranges and reads back. Neither throws nor fails the test by itself: the caller
// checks the result, so the failure is reported on the caller's line.

// Writes bytes (none for an empty file) over whatever is at path; true when all were written.
bool writeFile(const QString& path, const QByteArray& bytes);
// The file's bytes; empty when it cannot be read.
QByteArray readFile(const QString& path);
