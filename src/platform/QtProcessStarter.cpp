#include "QtProcessStarter.h"

#include <QProcess>

// The whole text is the program's path, blanks included: nothing is split off as arguments.
bool QtProcessStarter::startDetached(const QString& program) {
    return !program.isEmpty() && QProcess::startDetached(program, {});
}
