#include "FrmProtect.h"

#include "BusyWait.h"

#include "controls/FlatEdit.h"
#include "controls/Placement.h"
#include "controls/WindowFrame.h"
#include "platform/ErrorReport.h"
#include "vault/MasterPassword.h"
#include "vault/Module.h"
#include "vault/ProtectedVault.h"
#include "vault/VaultBackup.h"
#include "vault/VaultRekey.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

FrmProtect::FrmProtect(Module& module, Platform& platform, const QString& programFolder, bool turnOn, QWidget* parent)
    : QDialog(parent), m_module(module), m_platform(platform), m_turnOn(turnOn) {
    setUpFixedDialog(*this, "FrmProtect",
                     turnOn ? QStringLiteral("用主密码加密数据文件") : QStringLiteral("取消数据文件加密"),
                     programFolder, {pixelsFromTwips(3630), pixelsFromTwips(1440)});

    auto* group = placeControl<QGroupBox>(this, "GroupBox1", twipsRect(135, 135, 3375, 705));
    placeControl<QLabel>(group, "Label1", twipsRect(315, 255, 780, 315), QStringLiteral("主 密 码："));
    m_editZMM = placeControl<FlatEdit>(group, "Edit_ZMM", twipsRect(1200, 225, 1995, 360));
    m_editZMM->setPasswordChar(QStringLiteral("*"));

    auto* ok = placeControl<QPushButton>(this, "Button_OK", twipsRect(1530, 975, 990, 345), QStringLiteral("确定(&O)"));
    ok->setDefault(true);
    auto* cancel =
        placeControl<QPushButton>(this, "Button_Cancel", twipsRect(2535, 975, 990, 345), QStringLiteral("取消(&C)"));
    setTabOrder(m_editZMM, ok);
    setTabOrder(ok, cancel);

    connectTrapped(m_platform, this, ok, &QPushButton::clicked, [this] { Button_OK_Click(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void FrmProtect::Button_OK_Click() {
    const QString typed = m_editZMM->text();
    readRootSeq(m_module);
    if (checkMasterPassword(m_module, typed) != LoginVerdict::Admitted) {
        m_platform.boxes.show(this, QStringLiteral("输入的密码有误,请重新再试！"), PromptTitle, BoxButtons::Ok,
                              BoxIcon::Exclamation);
        m_editZMM->clear();
        m_editZMM->setFocus();
        return;
    }
    Connection& connection = m_module.VaultConnection;
    if (m_turnOn) {
        // The copy of the file as it was, before anything else: should the password be forgotten
        // at once, it is the way back. It counts as this run's backup.
        VaultBackup::write(connection);
        connection.setBeforeFirstWrite(nullptr);
        QByteArray key;
        runWithBusyCursor([&] { key = ProtectedVault::newKeyFor(typed); });
        VaultRekey::rekey(connection, key);
    } else {
        VaultRekey::rekey(connection, VaultRekey::databasePasswordKey(connection));
    }
    accept();
}
