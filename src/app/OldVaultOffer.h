#pragma once

#include <QString>

class QWidget;
struct Platform;

// When the data file is still a file of the old Windows program (a Jet database), reads it and
// asks whether to convert it, saying how many categories and entries it holds. On Yes the file is
// converted where it lies and the old one is kept beside it, unchanged; a file that cannot be
// read, or any failure, throws VaultError with the folder as it was. On No the program is ended.
// Leftovers of a conversion or import killed in the data file's folder are removed first.
// Returns whether start-up may go on; any other data file is left to the connection to judge.
bool offerOldVaultConversion(Platform& platform, QWidget* parent, const QString& dataFile);
