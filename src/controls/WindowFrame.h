#pragma once

#include <QIcon>
#include <QSize>
#include <QString>

class QDialog;

// The program's 64 x 64 icon, drawn at build time into Icons/ beside the program. A missing
// file gives an empty icon, never an error.
QIcon programIcon(const QString& programFolder);

// The frame of the small dialogs: fixed client size, no minimise or maximise box, a close box,
// the program icon, and the name tests and the window system know it by.
void setUpFixedDialog(QDialog& dialog, const char* name, const QString& caption, const QString& programFolder,
                      QSize clientSize);
