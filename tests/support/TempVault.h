#pragma once

#include "vault/Module.h"

#include <QTemporaryDir>
#include <QVariant>

struct sqlite3;

// How long the test connections wait for a file another connection holds.
constexpr int TestBusyTimeoutMs = 300;

// A temporary program folder holding a fresh DB.xml (and the Skin/ and Icons/ folders of the
// build, when they exist), with a Module whose connection is open on it. Removed at destruction.
class TempVault {
public:
    // withVault = false leaves the folder without DB.xml.
    explicit TempVault(bool withVault = true);
    ~TempVault();
    TempVault(const TempVault&) = delete;
    TempVault& operator=(const TempVault&) = delete;

    QString folder() const { return m_dir.path(); }
    QString dbPath() const;
    // Opens module().VaultConnection on the folder's DB.xml (done by the constructor when withVault).
    void openModule();
    Module& module() { return m_module; }

    // Direct access to the file through a connection of its own (opened on first use, keyed, not
    // the layer under test), for arranging rows and reading them back. exec without parameters
    // may run several statements. Failures throw VaultError.
    void exec(const QString& sql, const QVariantList& parameters = {});
    QVariant scalar(const QString& sql);
    qint64 count(const QString& table, const QString& where = {});

private:
    sqlite3* raw();

    QTemporaryDir m_dir;
    Module m_module;
    sqlite3* m_raw = nullptr;
};
