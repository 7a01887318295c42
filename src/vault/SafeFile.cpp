#include "SafeFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sqlcipher/sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SafeFile {

Created createExclusive(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    Created created;
    created.fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (created.fd < 0) {
        created.error = errno;
        return created;
    }
    if (::fchmod(created.fd, S_IRUSR | S_IWUSR) != 0) {
        created.error = errno;
        created.modeFailed = true;
        ::close(created.fd);
        created.fd = -1;
        ::unlink(name.constData());
    }
    return created;
}

int renameNoReplace(const QString& from, const QString& to) {
    if (::renameat2(AT_FDCWD, QFile::encodeName(from).constData(), AT_FDCWD, QFile::encodeName(to).constData(),
                    RENAME_NOREPLACE) == 0) {
        return 0;
    }
    const int error = errno;
    if (error == EINVAL || error == ENOSYS || error == ENOTSUP) {
        return renameByLink(from, to);
    }
    return error;
}

int renameByLink(const QString& from, const QString& to) {
    const QByteArray source = QFile::encodeName(from);
    if (::link(source.constData(), QFile::encodeName(to).constData()) != 0) {
        return errno;
    }
    ::unlink(source.constData());
    return 0;
}

namespace {

int syncOpened(const QString& path, int flags) {
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    const int error = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return error;
}

} // namespace

int syncFile(const QString& path) {
    return syncOpened(path, O_RDONLY);
}

int syncFolder(const QString& folder) {
    return syncOpened(folder, O_RDONLY | O_DIRECTORY);
}

QString systemMessage(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QString engineMessage(sqlite3* db, int rc) {
    return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
}

} // namespace SafeFile
