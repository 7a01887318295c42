#include "ProgramFolders.h"

#include "FreshVault.h"
#include "SafeFile.h"
#include "VaultError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>

namespace {

const QString VaultFolderName = QStringLiteral("vaultry");

bool somethingAt(const QString& path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

[[noreturn]] void cannotMakeFolder(const QString& wanted, const QString& failed, int error) {
    // A file where a folder of the path belongs is the likely cause, and the system's own words for
    // it ("File exists") would name neither.
    const QString reason =
        error == EEXIST ? QStringLiteral("“%1”已经存在，但不是文件夹").arg(failed) : SafeFile::systemMessage(error);
    throw VaultError(VaultError::EngineFailure, QStringLiteral("无法建立数据文件夹“%1”：%2。请确认该位置可以写入，"
                                                               "或用环境变量 XDG_DATA_HOME 指定另一个数据目录。")
                                                    .arg(wanted, reason));
}

// Missing folders of the data home are made the owner's alone, as the XDG rules ask. Returns
// whether the folder itself was made here.
bool makeFolder(const QString& folder, const QString& wanted) {
    if (QFileInfo(folder).isDir()) {
        return false;
    }
    const QString parent = QFileInfo(folder).path();
    if (parent != folder) {
        makeFolder(parent, wanted);
    }
    if (::mkdir(QFile::encodeName(folder).constData(), S_IRWXU) != 0) {
        cannotMakeFolder(wanted, folder, errno);
    }
    return true;
}

} // namespace

QString dataHomeFrom(const QString& xdgDataHome, const QString& home) {
    if (QDir::isAbsolutePath(xdgDataHome)) {
        return QDir::cleanPath(xdgDataHome);
    }
    return QDir::cleanPath(home + QStringLiteral("/.local/share"));
}

ProgramFolders programFoldersFor(const QString& executableFolder, const QString& dataHome) {
    if (QFileInfo(executableFolder + QStringLiteral("/Skin")).isDir()) {
        return {executableFolder, executableFolder, false};
    }
    return {QDir::cleanPath(dataHome + u'/' + VaultFolderName),
            QDir::cleanPath(executableFolder + QStringLiteral("/../share/vaultry")), true};
}

void prepareVault(const ProgramFolders& folders) {
    if (!folders.vaultInDataHome) {
        return; // the design's layout: a missing DB.xml is reported, never made
    }
    const QString vault = folders.data + QStringLiteral("/DB.xml");
    if (somethingAt(vault)) {
        return;
    }
    if (makeFolder(folders.data, folders.data) && ::chmod(QFile::encodeName(folders.data).constData(), S_IRWXU) != 0) {
        cannotMakeFolder(folders.data, folders.data, errno);
    }
    createFreshVault(vault);
}
