#include "ErrorReport.h"

VaultError asVaultError(const std::exception& error) {
    return VaultError(VaultError::EngineFailure, QString::fromUtf8(error.what()));
}

void reportError(Platform& platform, QWidget* parent, const VaultError& error) {
    platform.boxes.show(parent, error.description(), QStringLiteral("错误") + QString::number(error.number()),
                        BoxButtons::Ok, BoxIcon::Critical);
}
