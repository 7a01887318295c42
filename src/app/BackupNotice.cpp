#include "BackupNotice.h"

#include "platform/Platform.h"
#include "vault/Connection.h"
#include "vault/VaultBackup.h"
#include "vault/VaultError.h"

#include <QApplication>

void armBackupBeforeFirstWrite(Connection& connection, Platform& platform) {
    connection.setBeforeFirstWrite(VaultBackup::beforeFirstWrite([&platform](const VaultError& error) {
        platform.boxes.show(QApplication::activeWindow(),
                            QStringLiteral("%1\n本次修改仍会照常保存！").arg(error.description()), PromptTitle,
                            BoxButtons::Ok, BoxIcon::Exclamation);
    }));
}
