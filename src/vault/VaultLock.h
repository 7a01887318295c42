#pragma once

#include <QLockFile>
#include <QString>

// One program per data file. Two programs saving into one DB.xml would each write over the other's
// changes without a word, so a run holds a lock file beside the data file for as long as it lives.
// The lock of a program that was killed is taken over: the process it names is gone.
class VaultLock {
public:
    explicit VaultLock(const QString& dataFile);
    VaultLock(const VaultLock&) = delete;
    VaultLock& operator=(const VaultLock&) = delete;

    enum class Outcome {
        Held,          // this run holds the data file until the lock is destroyed
        HeldElsewhere, // another running program holds it
        Unavailable,   // no lock file can be made beside it (a read-only folder, where nothing can be written)
    };
    Outcome tryHold();

    // <data file>.lock
    static QString lockFileFor(const QString& dataFile);

private:
    QLockFile m_lock;
};
