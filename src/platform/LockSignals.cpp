#include "LockSignals.h"

#include <QByteArray>
#include <QFileInfo>

namespace {

// logind names a session's object after its id, every byte but a letter or digit (and a leading
// digit) escaped as _xx, as sd_bus_path_encode does.
QString sessionObjectPath(const QByteArray& sessionId) {
    QString path = QStringLiteral("/org/freedesktop/login1/session/");
    for (qsizetype i = 0; i < sessionId.size(); ++i) {
        const char c = sessionId.at(i);
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        const bool digit = c >= '0' && c <= '9';
        if (letter || (digit && i > 0)) {
            path += QLatin1Char(c);
        } else {
            path += QStringLiteral("_%1").arg(static_cast<unsigned char>(c), 2, 16, QLatin1Char('0'));
        }
    }
    return path;
}

// Without a bus address libdbus would start a bus of its own for the display (dbus-launch), which
// outlives the program; a desktop without a session bus has no screen saver to listen to either.
QDBusConnection sessionBusIfRunning() {
    const QByteArray runtimeDir = qgetenv("XDG_RUNTIME_DIR");
    const bool running = !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") ||
                         (!runtimeDir.isEmpty() && QFileInfo::exists(QString::fromLocal8Bit(runtimeDir + "/bus")));
    return running ? QDBusConnection::sessionBus() : QDBusConnection(QString());
}

} // namespace

LockSignals::LockSignals(const QDBusConnection& sessionBus, const QDBusConnection& systemBus, QObject* parent)
    : QObject(parent) {
    // Any sender: the screen saver's well-known name belongs to whichever desktop runs it. KDE sends
    // on both of its paths, GNOME on its own interface.
    QDBusConnection session = sessionBus;
    const auto watch = [this](QDBusConnection& bus, const QString& path, const QString& interface, const QString& name,
                              const char* slot) {
        if (bus.isConnected()) {
            bus.connect(QString(), path, interface, name, this, slot);
        }
    };
    const char* const activeChanged = SLOT(screenSaverActiveChanged(bool));
    const QString freedesktopSaver = QStringLiteral("org.freedesktop.ScreenSaver");
    watch(session, QStringLiteral("/org/freedesktop/ScreenSaver"), freedesktopSaver, QStringLiteral("ActiveChanged"),
          activeChanged);
    watch(session, QStringLiteral("/ScreenSaver"), freedesktopSaver, QStringLiteral("ActiveChanged"), activeChanged);
    watch(session, QStringLiteral("/org/gnome/ScreenSaver"), QStringLiteral("org.gnome.ScreenSaver"),
          QStringLiteral("ActiveChanged"), activeChanged);

    QDBusConnection system = systemBus;
    watch(system, QStringLiteral("/org/freedesktop/login1"), QStringLiteral("org.freedesktop.login1.Manager"),
          QStringLiteral("PrepareForSleep"), SLOT(prepareForSleep(bool)));
    // Only our own session's Lock: another user's session locking is no reason to lock here.
    const QByteArray sessionId = qgetenv("XDG_SESSION_ID");
    if (!sessionId.isEmpty()) {
        watch(system, sessionObjectPath(sessionId), QStringLiteral("org.freedesktop.login1.Session"),
              QStringLiteral("Lock"), SLOT(sessionLock()));
    }
}

LockSignals* LockSignals::ofTheDesktop(QObject* parent) {
    return new LockSignals(sessionBusIfRunning(), QDBusConnection::systemBus(), parent);
}

void LockSignals::screenSaverActiveChanged(bool active) {
    // The screen coming back is no reason to unlock: only the master password is.
    if (active) {
        emit lockRequested();
    }
}

void LockSignals::prepareForSleep(bool starting) {
    if (starting) {
        emit lockRequested();
    }
}

void LockSignals::sessionLock() {
    emit lockRequested();
}
