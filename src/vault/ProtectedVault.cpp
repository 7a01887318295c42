#include "ProtectedVault.h"

#include "Connection.h"
#include "VaultError.h"
#include "VaultKey.h"

namespace ProtectedVault {

bool isProtectedFile(const QString& path) {
    return VaultKey::headerOfFile(path).has_value();
}

void openUnlessProtected(Connection& connection) {
    if (!isProtectedFile(Connection::dataSourceOf(connection.connectionString()))) {
        connection.open();
    }
}

QByteArray keyForFile(const QString& path, const QString& password) {
    const std::optional<VaultKey::Header> header = VaultKey::headerOfFile(path);
    if (!header) {
        throw VaultError(VaultError::EngineFailure,
                         QStringLiteral("数据文件“%1”不是用主密码加密的数据文件。").arg(path));
    }
    return VaultKey::derive(password, *header);
}

QByteArray newKeyFor(const QString& password) {
    return VaultKey::derive(password, VaultKey::newHeader());
}

bool openWithPassword(Connection& connection, const QString& password) {
    return connection.openWithKey(keyForFile(Connection::dataSourceOf(connection.connectionString()), password));
}

void closeAndForgetKey(Connection& connection) {
    if (connection.isOpen() && connection.isProtected()) {
        connection.close();
        connection.setKey({});
    }
}

} // namespace ProtectedVault
