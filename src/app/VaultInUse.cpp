#include "VaultInUse.h"

#include "platform/Platform.h"
#include "vault/VaultLock.h"

bool holdVaultForThisRun(VaultLock& lock, Platform& platform, QWidget* parent, const QString& dataFile) {
    if (lock.tryHold() != VaultLock::Outcome::HeldElsewhere) {
        return true;
    }
    platform.boxes.show(parent,
                        QStringLiteral("数据文件“%1”已在另一个窗口中打开。\n"
                                       "同一个数据文件一次只能由一个程序使用，请回到已打开的那个窗口！")
                            .arg(dataFile),
                        PromptTitle, BoxButtons::Ok, BoxIcon::Information);
    platform.programEnd.endProgram(0);
    return false;
}
