#include "ReadOnlyCopy.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr auto EveryoneReads = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
constexpr auto EveryoneRuns = EveryoneReads | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;

// Why nobody (as nogroup, without other groups) cannot reach path; empty when it can. A TMPDIR
// under root's home is the usual case.
QString whyNobodyCannotReach(const QString& path) {
    const passwd* nobody = ::getpwnam("nobody");
    const group* nogroup = ::getgrnam("nogroup");
    if (nobody == nullptr || nogroup == nullptr) {
        return QStringLiteral("the system has no user nobody or no group nogroup to drop root's rights to");
    }
    QString folder = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    for (;;) {
        struct stat status {};
        if (::stat(QFile::encodeName(folder).constData(), &status) != 0) {
            return QStringLiteral("%1 cannot be looked at").arg(folder);
        }
        const bool passes = status.st_uid == nobody->pw_uid    ? (status.st_mode & S_IXUSR) != 0
                            : status.st_gid == nogroup->gr_gid ? (status.st_mode & S_IXGRP) != 0
                                                               : (status.st_mode & S_IXOTH) != 0;
        if (!passes) {
            return QStringLiteral("nobody may not enter %1, on the way to the temporary folder; set TMPDIR to a "
                                  "folder everyone may enter")
                .arg(folder);
        }
        if (folder == QDir::rootPath()) {
            return {};
        }
        folder = QFileInfo(folder).path();
    }
}

} // namespace

ReadOnlyCopy::ReadOnlyCopy(const QString& vaultFile) {
    m_valid = m_dir.isValid() && QFile::setPermissions(m_dir.path(), EveryoneRuns | QFile::WriteOwner) &&
              QFile::copy(vaultFile, file()) && QFile::setPermissions(file(), EveryoneReads);
}

QString ReadOnlyCopy::file() const {
    return m_dir.path() + QStringLiteral("/DB.xml");
}

QByteArray ReadOnlyCopy::bytes() const {
    QFile in(file());
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

ReadOnlyCopy::Outcome ReadOnlyCopy::runThisProgram(const QStringList& arguments) const {
    Outcome outcome;
    QProcess process;
    if (::geteuid() != 0) {
        process.start(QCoreApplication::applicationFilePath(), arguments);
    } else {
        const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
        if (setpriv.isEmpty()) {
            outcome.whyNot =
                QStringLiteral("running as root and setpriv is missing, so a read-only file cannot be made");
            return outcome;
        }
        outcome.whyNot = whyNobodyCannotReach(m_dir.path());
        if (!outcome.whyNot.isEmpty()) {
            return outcome;
        }
        // nobody may not read the build folder: the program runs from the shared folder.
        const QString child = m_dir.path() + QStringLiteral("/") + QCoreApplication::applicationName();
        if (!QFile::exists(child) && !(QFile::copy(QCoreApplication::applicationFilePath(), child) &&
                                       QFile::setPermissions(child, EveryoneRuns))) {
            outcome.whyNot = QStringLiteral("could not copy the test program for nobody to run");
            return outcome;
        }
        process.start(setpriv, QStringList{QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                                           QStringLiteral("--clear-groups"), child} +
                                   arguments);
    }
    if (!process.waitForFinished(60000)) {
        outcome.whyNot = QStringLiteral("the attempt did not finish: ") + process.errorString();
        return outcome;
    }
    outcome.output = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    if (process.exitCode() != 0 && outcome.output.isEmpty()) {
        outcome.whyNot =
            QStringLiteral("the attempt could not run: ") + QString::fromLocal8Bit(process.readAllStandardError());
        return outcome;
    }
    outcome.ran = true;
    return outcome;
}
