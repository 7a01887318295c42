// exportvault FOLDER OUTFILE: writes the vault FOLDER/DB.xml, after its master password, as a
// KeePass 2 XML file that KeePass and KeePassXC import. OUTFILE is created readable by the owner
// only; an existing file is never replaced.

#include "PasswordLine.h"
#include "migrate/KeePassXml.h"
#include "vault/MasterPassword.h"
#include "vault/Module.h"
#include "vault/ProtectedVault.h"
#include "vault/SafeFile.h"
#include "vault/Statements.h"
#include "vault/VaultError.h"

#include <QFile>
#include <QString>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

// A character a terminal would act on or drop (U+0000 ends a C string) is shown as its code, so a
// refusal naming such a character is read whole.
QString printable(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\n' && u != u'\t') || (u >= 0x7f && u < 0xa0)) {
            out += QStringLiteral("\\u") + QString::number(u, 16).toUpper().rightJustified(4, u'0');
        } else {
            out += c;
        }
    }
    return out;
}

void printLine(std::FILE* stream, const QString& text) {
    const QByteArray bytes = (printable(text) + u'\n').toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
}

// The login's rule exactly, RootSeq read first as the login does on load.
bool admits(Module& module, const QString& typed) {
    readRootSeq(module);
    const LoginVerdict verdict = checkMasterPassword(module, typed);
    return verdict == LoginVerdict::Admitted || verdict == LoginVerdict::AdmittedFirstRun;
}

void writeNewPrivateFile(const QString& path, const QByteArray& content) {
    const SafeFile::Created created = SafeFile::createExclusive(path);
    if (created.modeFailed) {
        throw VaultError(VaultError::EngineFailure,
                         QStringLiteral("写入文件“%1”失败：%2").arg(path, SafeFile::systemMessage(created.error)));
    }
    if (created.fd < 0) {
        throw VaultError(
            VaultError::EngineFailure,
            created.error == EEXIST
                ? QStringLiteral("文件“%1”已经存在，不会覆盖它。").arg(path)
                : QStringLiteral("无法创建文件“%1”：%2").arg(path, SafeFile::systemMessage(created.error)));
    }
    const int fd = created.fd;
    bool written = true;
    for (qsizetype done = 0; written && done < content.size();) {
        const ssize_t n = ::write(fd, content.constData() + done, static_cast<size_t>(content.size() - done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        written = n > 0;
        done += n > 0 ? n : 0;
    }
    written = written && ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    if (!written) {
        ::unlink(QFile::encodeName(path).constData());
        throw VaultError(VaultError::EngineFailure,
                         QStringLiteral("写入文件“%1”失败：%2").arg(path, SafeFile::systemMessage(error)));
    }
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 3 || argv[1][0] == '\0' || argv[2][0] == '\0') {
        printLine(stderr, QStringLiteral("用法：exportvault 文件夹 输出文件\n"
                                         "Usage: exportvault FOLDER OUTFILE\n"
                                         "询问主密码后，把文件夹中 DB.xml 的全部条目写成 KeePass 2 XML 文件"
                                         "（可用 keepassxc-cli import 导入）；已有的输出文件不会被覆盖。\n"
                                         "Asks the master password, then writes every entry of FOLDER/DB.xml as a "
                                         "KeePass 2 XML file; an existing OUTFILE is never replaced."));
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QString outFile = QString::fromLocal8Bit(argv[2]);
    try {
        if (QFile::exists(outFile)) {
            throw VaultError(VaultError::EngineFailure, QStringLiteral("文件“%1”已经存在，不会覆盖它。").arg(outFile));
        }
        Module module;
        module.VaultConnection.setConnectionString(Connection::connectionTextFor(folder));
        ProtectedVault::openUnlessProtected(module.VaultConnection);
        const QString typed = QString::fromLocal8Bit(readPasswordLine());
        // A protected file opens with its master password, then faces the login's rule like any other.
        const bool opened =
            module.VaultConnection.isOpen() || ProtectedVault::openWithPassword(module.VaultConnection, typed);
        if (!opened || !admits(module, typed)) {
            printLine(stderr, QStringLiteral("输入的密码有误,请重新再试！"));
            printLine(stderr, QStringLiteral("exportvault: nothing was written."));
            return 1;
        }
        const KeePassExport result = keePassXmlOf(module);
        writeNewPrivateFile(outFile, result.xml);
        printLine(stdout,
                  QStringLiteral("已导出：分组 %1 个（含根分组“全部分类”），条目 %2 个，写入 %3（仅本人可读）。")
                      .arg(result.groups)
                      .arg(result.entries)
                      .arg(outFile));
        printLine(stdout, QStringLiteral("这个文件以明文保存全部密码：导入后请删除它。"));
    } catch (const VaultError& error) {
        printLine(stderr, error.description());
        printLine(stderr, QStringLiteral("exportvault: nothing was written."));
        return 1;
    }
    return 0;
}
