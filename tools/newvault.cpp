// newvault FOLDER: writes a fresh, empty data file FOLDER/DB.xml for the program. It never
// touches an existing file.

#include "vault/FreshVault.h"
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
    if (argc != 2 || argv[1][0] == '\0') {
        printLine(stderr, QStringLiteral("用法：newvault 文件夹\n"
                                         "Usage: newvault FOLDER\n"
                                         "在文件夹中写入一个新的空数据文件 DB.xml；已有的文件不会被覆盖。\n"
                                         "Writes a fresh, empty DB.xml into FOLDER; an existing file is never "
                                         "overwritten."));
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QString filePath = QDir(folder).filePath(QStringLiteral("DB.xml"));
    try {
        createFreshVault(filePath);
    } catch (const VaultError& error) {
        printLine(stderr, error.description());
        printLine(stderr,
                  QStringLiteral("newvault: could not write %1 (an existing file is never replaced).").arg(filePath));
        return 1;
    }
    printLine(stdout, QStringLiteral("已写入新的数据文件：%1").arg(filePath));
    return 0;
}
