#include "MasterPassword.h"

#include "Module.h"
#include "SecretCipher.h"
#include "Statements.h"

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

LoginVerdict checkMasterPassword(Module& module, const QString& typed) {
    const QString suffix = module.rootSeqSuffix();
    // Without a login row nothing is expected, and no password can match.
    const QString expected = readStoredPassword(module, Statements::loginRow()).value_or(QString());

    // The count stays 64-bit: a vault of more than 32767 entries must not lock its owner out.
    const auto entries = module.freshRecordset();
    entries->open(Statements::allEntries(), module.VaultConnection);
    const qint64 entryCount = entries->recordCount();
    entries->close();

    if (expected == suffix && entryCount >= 1) {
        // A vault that holds entries but no master password was tampered with: admit nobody.
        return LoginVerdict::RefusedNoPassword;
    }
    if (expected != typed + suffix) {
        return LoginVerdict::Refused;
    }
    return expected == suffix ? LoginVerdict::AdmittedFirstRun : LoginVerdict::Admitted;
}
