#include "DesktopShell.h"

#include <QProcess>

// The target goes over exactly as typed, as one argument of its own (no shell parses it, so
// nothing in it can run as a command), with no scheme added: the user decides what the address is.
// xdg-open runs detached, so a slow browser start never blocks the window.
bool DesktopShell::open(const QString& target) {
    return QProcess::startDetached(QStringLiteral("xdg-open"), {target});
}
