#include "VaultLock.h"

#include <QFile>

VaultLock::VaultLock(const QString& dataFile) : m_lock(lockFileFor(dataFile)) {
    // A program may stay open for days: only a lock whose process is gone is stale, never one
    // that is merely old.
    m_lock.setStaleLockTime(0);
}

QString VaultLock::lockFileFor(const QString& dataFile) {
    return dataFile + QStringLiteral(".lock");
}

VaultLock::Outcome VaultLock::tryHold() {
    if (m_lock.tryLock(0)) {
        // It names this machine and process: the owner's business, like every file beside the vault.
        QFile::setPermissions(m_lock.fileName(), QFile::ReadOwner | QFile::WriteOwner);
        return Outcome::Held;
    }
    return m_lock.error() == QLockFile::LockFailedError ? Outcome::HeldElsewhere : Outcome::Unavailable;
}
