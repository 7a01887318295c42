#include "MasterPassword.h"

#include "vault/Module.h"
#include "vault/SecretCipher.h"
#include "vault/Statements.h"

void readRootSeq(Module& module) {
    const auto root = module.freshRecordset();
    module.SqlText = Statements::rootCategory();
    root->open(module.SqlText, module.VaultConnection);
    if (root->recordCount() > 0) {
        module.RootSeq = root->int16(QStringLiteral("Seq"));
    }
    root->close();
}

std::optional<QString> readStoredPassword(Module& module, const QString& statement) {
    const auto login = module.freshRecordset();
    module.SqlText = statement;
    login->open(module.SqlText, module.VaultConnection);
    std::optional<QString> stored;
    if (login->recordCount() > 0) {
        stored = login->value(QStringLiteral("Pass")).isNull()
                     ? module.rootSeqSuffix()
                     : DecodeSecret(login->text(QStringLiteral("Pass")), Module::SecretKey);
    }
    login->close();
    return stored;
}
