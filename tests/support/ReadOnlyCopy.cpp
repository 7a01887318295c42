#include "ReadOnlyCopy.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <unistd.h>

namespace {
constexpr auto EveryoneReads = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
constexpr auto EveryoneRuns = EveryoneReads | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
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
