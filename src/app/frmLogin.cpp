#include "frmLogin.h"

#include "BusyWait.h"

#include "controls/PasswordMask.h"
#include "controls/Placement.h"
#include "controls/WindowFrame.h"
#include "platform/ErrorReport.h"
#include "vault/MasterPassword.h"
#include "vault/Module.h"
#include "vault/ProtectedVault.h"
#include "vault/Statements.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <limits>

namespace {

const QString WrongPassword = QStringLiteral("输入的密码有误,请重新再试！");

} // namespace

frmLogin::frmLogin(Module& module, Platform& platform, const QString& programFolder, QWidget* parent)
    : QDialog(parent), m_module(module), m_platform(platform) {
    setUpFixedDialog(*this, "frmLogin", QStringLiteral("登录"), programFolder,
                     {pixelsFromTwips(3750), pixelsFromTwips(1680)});

    auto* userLabel =
        placeControl<QLabel>(this, "lblLabels(0)", twipsRect(105, 150, 1080, 270), QStringLiteral("用户名称(&U):"));
    m_txtUserName =
        placeControl<QLineEdit>(this, "txtUserName", twipsRect(1290, 120, 2325, 345), QStringLiteral("admin"));
    userLabel->setBuddy(m_txtUserName);

    auto* passwordLabel =
        placeControl<QLabel>(this, "lblLabels(1)", twipsRect(105, 540, 1080, 270), QStringLiteral("密码(&P):"));
    m_txtPassword = placeControl<QLineEdit>(this, "txtPassword", twipsRect(1290, 525, 2325, 345));
    maskWithAsterisk(*m_txtPassword);
    // Qt's default limit of 32767 characters would cut a longer password silently.
    m_txtPassword->setMaxLength(std::numeric_limits<int>::max());
    m_txtPassword->setAttribute(Qt::WA_InputMethodEnabled, false);
    passwordLabel->setBuddy(m_txtPassword);

    m_label1 = placeControl<QLabel>(this, "Label1", twipsRect(1290, 870, 2325, 255));
    m_label1->setStyleSheet(QStringLiteral("color: #c00000;"));

    auto* ok = placeControl<QPushButton>(this, "cmdOK", twipsRect(675, 1170, 1140, 390), QStringLiteral("确定(&O)"));
    ok->setDefault(true);
    ok->setAutoDefault(true);
    auto* cancel =
        placeControl<QPushButton>(this, "cmdCancel", twipsRect(2010, 1170, 1140, 390), QStringLiteral("取消(&C)"));
    cancel->setAutoDefault(false);

    setTabOrder(m_txtUserName, m_txtPassword);
    setTabOrder(m_txtPassword, ok);
    setTabOrder(ok, cancel);

    // The login traps nothing: a failing check is reported and ends the program.
    connectFatal(m_platform, this, ok, &QPushButton::clicked, [this] { cmdOK_Click(); });
    connectFatal(m_platform, this, cancel, &QPushButton::clicked, [this] { cmdCancel_Click(); });

    load();
}

void frmLogin::load() {
    // A protected file stays closed until a password opens it; RootSeq is read then.
    if (!m_module.VaultConnection.isOpen()) {
        return;
    }
    // No trap of its own: a failure here reaches the start-up's trap, which reports it and ends the program.
    readRootSeq(m_module);
}

bool frmLogin::openIfClosed() {
    Connection& connection = m_module.VaultConnection;
    if (connection.isOpen()) {
        return true;
    }
    const QString typed = m_txtPassword->text();
    const QString file = Connection::dataSourceOf(connection.connectionString());
    if (!ProtectedVault::isProtectedFile(file)) {
        // Closed by its owner (a locked screen), not waiting for a key: it opens as it always has.
        connection.open();
        readRootSeq(m_module);
        return true;
    }
    QByteArray key;
    runWithBusyCursor([&] { key = ProtectedVault::keyForFile(file, typed); });
    if (!connection.openWithKey(key)) {
        return false;
    }
    readRootSeq(m_module);
    return true;
}

void frmLogin::cmdOK_Click() {
    if (m_openVault && !m_openVault(m_txtPassword->text())) {
        refuse();
        return;
    }
    if (checkPassword()) {
        accept();
    }
}

bool frmLogin::checkPassword() {
    const bool opened = m_module.VaultConnection.isOpen();
    LoginVerdict verdict =
        openIfClosed() ? checkMasterPassword(m_module, m_txtPassword->text()) : LoginVerdict::Refused;
    if (!opened && verdict != LoginVerdict::Admitted) {
        // A file this dialog opened stays closed until a password passes; the next attempt opens it anew.
        m_module.VaultConnection.close();
        verdict = LoginVerdict::Refused;
    }
    switch (verdict) {
    case LoginVerdict::RefusedNoPassword:
        m_label1->setText(WrongPassword);
        return false;
    case LoginVerdict::Refused:
        refuse();
        return false;
    case LoginVerdict::AdmittedFirstRun:
        m_module.MustSetPassword = true;
        return true;
    case LoginVerdict::Admitted:
        break;
    }
    return true;
}

void frmLogin::refuse() {
    m_label1->setText(WrongPassword);
    m_txtPassword->clear();
    m_txtPassword->setFocus();
}

void frmLogin::cmdCancel_Click() {
    m_platform.programEnd.endProgram(0);
    QDialog::reject();
}

// Esc and the close box (QDialog turns both into reject) leave the program, as Cancel does.
void frmLogin::reject() {
    cmdCancel_Click();
}
