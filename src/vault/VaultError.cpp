#include "VaultError.h"

#include <new>
#include <stdexcept>
#include <utility>

VaultError::VaultError(long number, QString description)
    : m_number(number), m_description(std::move(description)), m_utf8(m_description.toUtf8()) {}

VaultError VaultError::from(const std::exception& error) {
    if (const auto* ours = dynamic_cast<const VaultError*>(&error)) {
        return *ours;
    }
    const QString description = QString::fromUtf8(error.what());
    if (dynamic_cast<const std::invalid_argument*>(&error) != nullptr) {
        return VaultError(InvalidCall, description);
    }
    if (dynamic_cast<const std::out_of_range*>(&error) != nullptr) {
        return VaultError(OutOfRange, description);
    }
    if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) {
        return VaultError(OutOfMemory, QStringLiteral("内存不足。"));
    }
    return VaultError(InternalError, description);
}
