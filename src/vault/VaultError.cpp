#include "VaultError.h"

#include <utility>

VaultError::VaultError(long number, QString description)
    : m_number(number), m_description(std::move(description)), m_utf8(m_description.toUtf8()) {}
