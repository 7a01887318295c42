#pragma once

#include <QString>
#include <optional>

class Module;

// The two reads the login and the password dialog share.

// Sets RootSeq to the root category row's Seq; without a root row RootSeq keeps its value.
void readRootSeq(Module& module);

// The stored master password as it is compared: the password followed by the RootSeq suffix,
// or the bare suffix while none is stored. Nothing without a login row. `statement` is the
// login row's SELECT as the caller sends it.
std::optional<QString> readStoredPassword(Module& module, const QString& statement);

// The login's check of a typed master password against the vault (RootSeq already read).
enum class LoginVerdict {
    Admitted,
    AdmittedFirstRun,  // the vault has no master password yet: the empty one admits, once
    RefusedNoPassword, // the vault holds entries but no master password: it admits nobody
    Refused,
};
LoginVerdict checkMasterPassword(Module& module, const QString& typed);
