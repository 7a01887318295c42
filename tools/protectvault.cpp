// protectvault FOLDER on|off: protects FOLDER/DB.xml with its master password, or returns it to
// the program's own database password, as the program's 文件 menu does. A backup is written
// into FOLDER/Backup first.

#include "PasswordLine.h"
#include "vault/MasterPassword.h"
#include "vault/Module.h"
#include "vault/ProtectedVault.h"
#include "vault/VaultBackup.h"
#include "vault/VaultError.h"
#include "vault/VaultLock.h"
#include "vault/VaultRekey.h"

#include <QString>

#include <cstdio>

namespace {

void printLine(std::FILE* stream, const QString& text) {
    std::fputs((text + u'\n').toLocal8Bit().constData(), stream);
}

int refuse(const QString& why) {
    printLine(stderr, why);
    printLine(stderr, QStringLiteral("protectvault: the data file was not changed."));
    return 1;
}

} // namespace

int main(int argc, char* argv[]) {
    const QString mode = argc == 3 ? QString::fromLocal8Bit(argv[2]) : QString();
    if (argc != 3 || argv[1][0] == '\0' || (mode != QLatin1String("on") && mode != QLatin1String("off"))) {
        printLine(stderr, QStringLiteral("用法：protectvault 文件夹 on|off\n"
                                         "Usage: protectvault FOLDER on|off\n"
                                         "询问主密码后，用主密码加密文件夹中的 DB.xml（on），或取消加密（off）；"
                                         "改动之前先在 文件夹/Backup 里写一份备份。\n"
                                         "Asks the master password, then protects FOLDER/DB.xml with it (on) or "
                                         "returns it to the program's own key (off); a backup is written first."));
        return 2;
    }
    const bool turnOn = mode == QLatin1String("on");
    const QString folder = QString::fromLocal8Bit(argv[1]);
    try {
        Module module;
        Connection& connection = module.VaultConnection;
        connection.setConnectionString(Connection::connectionTextFor(folder));
        // The re-keyed copy takes the file's name: a program still holding the old file would go on
        // writing into a file nobody reads again.
        VaultLock lock(Connection::dataSourceOf(connection.connectionString()));
        if (lock.tryHold() == VaultLock::Outcome::HeldElsewhere) {
            return refuse(QStringLiteral("数据文件“%1”已在另一个窗口中打开，请先关闭那个程序！")
                              .arg(Connection::dataSourceOf(connection.connectionString())));
        }
        ProtectedVault::openUnlessProtected(connection);
        const QString typed = QString::fromLocal8Bit(readPasswordLine());
        const bool opened = connection.isOpen() || ProtectedVault::openWithPassword(connection, typed);
        if (!opened) {
            return refuse(QStringLiteral("输入的密码有误,请重新再试！"));
        }
        readRootSeq(module);
        const LoginVerdict verdict = checkMasterPassword(module, typed);
        if (verdict == LoginVerdict::AdmittedFirstRun) {
            return refuse(QStringLiteral("这个数据文件还没有主密码：请先在程序里登录并设置主密码。"));
        }
        if (verdict != LoginVerdict::Admitted) {
            return refuse(QStringLiteral("输入的密码有误,请重新再试！"));
        }
        if (connection.isProtected() == turnOn) {
            printLine(stdout,
                      turnOn ? QStringLiteral("数据文件“%1”已经用主密码加密，没有改动。").arg(connection.fileName())
                             : QStringLiteral("数据文件“%1”没有用主密码加密，没有改动。").arg(connection.fileName()));
            return 0;
        }
        const QString backup = VaultBackup::write(connection);
        VaultRekey::rekey(connection,
                          turnOn ? ProtectedVault::newKeyFor(typed) : VaultRekey::databasePasswordKey(connection));
        printLine(stdout, turnOn ? QStringLiteral("数据文件“%1”已经用主密码加密。").arg(connection.fileName())
                                 : QStringLiteral("数据文件“%1”已经取消加密。").arg(connection.fileName()));
        printLine(stdout, QStringLiteral("改动之前的备份：%1").arg(backup));
    } catch (const VaultError& error) {
        return refuse(error.description());
    }
    return 0;
}
