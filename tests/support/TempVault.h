#pragma once

#include "vault/Module.h"
#include "vault/RootCategory.h"

#include <QTemporaryDir>
#include <QVariant>

struct sqlite3;

// How long the test connections wait for a file another connection holds.
constexpr int TestBusyTimeoutMs = 300;

// An entry row as the program stores it: TempVault::addEntry enciphers name, pass and remark with
// Module::SecretKey and writes the rest as they are. Every field has an initialiser, so that a
// designated initialiser may leave any of them out.
struct TestEntry {
    qint64 type = RootCategory::Key;
    QString caption = {};
    QString name = {};
    QString pass = {};
    QString www = {};
    QString remark = {};
    QString sort = {};
    int seq = 1;
};

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
    // Rows arranged through exec; id 0 lets the file number the row. Both return the row's ID.
    qint64 addCategory(const QVariant& name, qint64 parent = RootCategory::Key, int seq = 1, qint64 id = 0);
    qint64 addEntry(const TestEntry& entry, qint64 id = 0);

private:
    sqlite3* raw();

    QTemporaryDir m_dir;
    Module m_module;
    sqlite3* m_raw = nullptr;
};
