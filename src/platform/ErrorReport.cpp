#include "ErrorReport.h"

#include <new>
#include <stdexcept>

VaultError asVaultError(const std::exception& error) {
    const QString description = QString::fromUtf8(error.what());
    if (dynamic_cast<const VaultError*>(&error) != nullptr) {
        return static_cast<const VaultError&>(error);
    }
    if (dynamic_cast<const std::invalid_argument*>(&error) != nullptr) {
        return VaultError(VaultError::InvalidCall, description);
    }
    if (dynamic_cast<const std::out_of_range*>(&error) != nullptr) {
        return VaultError(VaultError::OutOfRange, description);
    }
    if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) {
        return VaultError(VaultError::OutOfMemory, QStringLiteral("内存不足。"));
    }
    return VaultError(VaultError::InternalError, description);
}

void reportError(Platform& platform, QWidget* parent, const VaultError& error) {
    platform.boxes.show(parent, error.description(), QStringLiteral("错误") + QString::number(error.number()),
                        BoxButtons::Ok, BoxIcon::Critical);
}
