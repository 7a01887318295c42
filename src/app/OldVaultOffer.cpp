#include "OldVaultOffer.h"

#include "migrate/OldVault.h"
#include "migrate/VaultImport.h"
#include "platform/Platform.h"

#include <QFileInfo>

bool offerOldVaultConversion(Platform& platform, QWidget* parent, const QString& dataFile) {
    if (jetHeaderOf(dataFile) == JetHeader::NotJet) {
        return true;
    }
    const QString keptAs = keptOldVaultName(dataFile);
    const QString question =
        QStringLiteral("数据文件“%1”是旧版程序的数据库（Access 格式），本程序不能直接打开它。\n"
                       "是否现在把它转换为本程序的格式？\n\n"
                       "原来的文件会原样保留为“%2”，登录时仍使用原来的主密码。选择“否”将退出程序。")
            .arg(dataFile, QFileInfo(keptAs).fileName());
    if (platform.boxes.show(parent, question, QStringLiteral("提示！"), BoxButtons::YesNo, BoxIcon::Question) !=
        BoxAnswer::Yes) {
        platform.programEnd.endProgram(1);
        return false;
    }
    convertOldVaultInPlace(dataFile, keptAs);
    return true;
}
