#pragma once

#include <QDialog>
#include <functional>

class Module;
class QLabel;
class QLineEdit;
class QPushButton;
struct Platform;

// The first window the user meets: admits the user with the master password. On load it reads
// RootSeq; on acceptance it sets MustSetPassword when the vault has no master password yet.
// Cancel, Esc and the close box end the program.
class frmLogin : public QDialog {
    Q_OBJECT
public:
    frmLogin(Module& module, Platform& platform, const QString& programFolder, QWidget* parent = nullptr);

    // Runs on OK before the check, with the typed password: a vault whose file only that password
    // opens is opened here. False refuses the password as a wrong one.
    void setVaultOpener(std::function<bool(const QString& password)> opener) { m_openVault = std::move(opener); }

    void cmdOK_Click();
    void cmdCancel_Click();

protected:
    void reject() override;

private:
    void load();
    bool checkPassword();
    // A file still closed is opened here: a protected one with the key derived from the typed
    // password (false when that password does not open it), any other as start-up opens it.
    bool openIfClosed();
    void refuse();

    Module& m_module;
    Platform& m_platform;
    QLineEdit* m_txtUserName = nullptr;
    QLineEdit* m_txtPassword = nullptr;
    QLabel* m_label1 = nullptr;
    std::function<bool(const QString&)> m_openVault;
};
