#pragma once

#include <QDBusConnection>
#include <QObject>

// The desktop's moments to lock the program: the session's screen locks, the session is told to lock,
// or the machine is about to sleep. The windows see only lockRequested(); tests emit it themselves.
class LockSignals : public QObject {
    Q_OBJECT
public:
    // Listens on the given buses. A bus that is not there is passed over without a word: the program
    // then simply never locks that way.
    LockSignals(const QDBusConnection& sessionBus, const QDBusConnection& systemBus, QObject* parent = nullptr);

    // The user's own session bus and the machine's system bus.
    static LockSignals* ofTheDesktop(QObject* parent);

signals:
    void lockRequested();

private slots:
    void screenSaverActiveChanged(bool active);
    void prepareForSleep(bool starting);
    void sessionLock();
};
