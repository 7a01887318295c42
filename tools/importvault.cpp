// importvault OLDFILE FOLDER: moves a vault of the old Windows program (its DB.xml, a Jet 4.0
// database) into a new data file FOLDER/DB.xml. The old file is only read; an existing
// FOLDER/DB.xml is never touched.

#include "migrate/VaultImport.h"
#include "vault/VaultError.h"

#include <QDir>
#include <QString>

#include <cstdio>

namespace {

void printLine(std::FILE* stream, const QString& text) {
    std::fputs((text + u'\n').toLocal8Bit().constData(), stream);
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 3 || argv[1][0] == '\0' || argv[2][0] == '\0') {
        printLine(stderr, QStringLiteral("用法：importvault 旧数据文件 文件夹\n"
                                         "Usage: importvault OLDFILE FOLDER\n"
                                         "把旧版程序的数据文件（Jet 4.0 数据库 DB.xml）的全部记录写入文件夹中新的 "
                                         "DB.xml；旧文件只读不改，已有的 DB.xml 不会被覆盖。\n"
                                         "Copies every record of the old program's data file into a new FOLDER/DB.xml; "
                                         "the old file is only read, an existing DB.xml is never replaced."));
        return 2;
    }
    const QString oldFile = QString::fromLocal8Bit(argv[1]);
    const QString target = QDir(QString::fromLocal8Bit(argv[2])).filePath(QStringLiteral("DB.xml"));
    try {
        const ImportCounts counts = importOldVault(oldFile, target);
        printLine(stdout, QStringLiteral("已导入：分类 %1 个（含根分类），条目 %2 个，登录记录 %3 个。")
                              .arg(counts.categories)
                              .arg(counts.entries)
                              .arg(counts.logins));
        printLine(stdout, QStringLiteral("已写入新的数据文件：%1（登录时使用原来的主密码）").arg(target));
    } catch (const VaultError& error) {
        printLine(stderr, error.description());
        printLine(stderr, QStringLiteral("importvault: nothing was written."));
        return 1;
    }
    return 0;
}
