#include "OldVaultOffer.h"

#include "migrate/OldVault.h"
#include "migrate/VaultImport.h"
#include "platform/Platform.h"
#include "vault/VaultError.h"

#include <QFileInfo>

#include <sys/stat.h>

namespace {

// What identifies the file that was read, so that the one converted is the one the user was shown.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};

    bool operator==(const FileStamp& other) const {
        return device == other.device && inode == other.inode && size == other.size &&
               modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
    }
};

FileStamp stampOf(const QString& file) {
    struct stat status {};
    if (::stat(QFile::encodeName(file).constData(), &status) != 0) {
        return {};
    }
    return {status.st_dev, status.st_ino, status.st_size, status.st_mtim};
}

} // namespace

bool offerOldVaultConversion(Platform& platform, QWidget* parent, const QString& dataFile) {
    removeImportLeftovers(QFileInfo(dataFile).absolutePath());
    if (jetHeaderOf(dataFile) == JetHeader::NotJet) {
        return true;
    }
    // Read before asking: the user sees what will come over, and a file that cannot be read is
    // reported before anything is offered.
    const FileStamp stamp = stampOf(dataFile);
    const OldVault old = readOldVault(dataFile);
    const ImportCounts counts = countsOf(old);
    const QString keptAs = keptOldVaultName(dataFile);
    const QString question =
        QStringLiteral("数据文件“%1”是旧版程序的数据库（Access 格式），本程序不能直接打开它。\n"
                       "文件中有：分类 %3 个, 条目 %4 个（分类含根分类）。\n"
                       "是否现在把它转换为本程序的格式？\n\n"
                       "原来的文件会原样保留为“%2”，登录时仍使用原来的主密码。选择“否”将退出程序。")
            .arg(dataFile, QFileInfo(keptAs).fileName(), QString::number(counts.categories),
                 QString::number(counts.entries));
    if (platform.boxes.show(parent, question, PromptTitle, BoxButtons::YesNo, BoxIcon::Question) != BoxAnswer::Yes) {
        platform.programEnd.endProgram(1);
        return false;
    }
    if (!(stampOf(dataFile) == stamp)) {
        throw VaultError(VaultError::EngineFailure,
                         QStringLiteral("数据文件“%1”在询问期间被改动了，没有转换。请重新启动程序。").arg(dataFile));
    }
    convertOldVaultInPlace(old, dataFile, keptAs);
    return true;
}
