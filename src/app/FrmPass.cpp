#include "FrmPass.h"

#include "BusyWait.h"

#include "controls/FlatEdit.h"
#include "controls/Placement.h"
#include "controls/WindowFrame.h"
#include "platform/ErrorReport.h"
#include "vault/MasterPassword.h"
#include "vault/Module.h"
#include "vault/ProtectedVault.h"
#include "vault/SecretCipher.h"
#include "vault/Statements.h"
#include "vault/VaultRekey.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRandomGenerator>

namespace {

FlatEdit* makePasswordField(QWidget* parent, const char* name, QRect geometry) {
    auto* field = placeControl<FlatEdit>(parent, name, geometry);
    field->setPasswordChar(QStringLiteral("*"));
    return field;
}

} // namespace

FrmPass::FrmPass(Module& module, Platform& platform, const QString& programFolder, QWidget* parent)
    : QDialog(parent), m_module(module), m_platform(platform) {
    setUpFixedDialog(*this, "FrmPass", QStringLiteral("修改密码"), programFolder,
                     {pixelsFromTwips(3630), pixelsFromTwips(2730)});

    m_groupBox1 = placeControl<QGroupBox>(this, "GroupBox1", twipsRect(135, 135, 3375, 2085));
    placeControl<QLabel>(m_groupBox1, "Label1", twipsRect(315, 255, 780, 315), QStringLiteral("原 密 码："));
    m_editYMM = makePasswordField(m_groupBox1, "Edit_YMM", twipsRect(1200, 225, 1995, 360));
    placeControl<QLabel>(m_groupBox1, "Label2", twipsRect(315, 885, 780, 315), QStringLiteral("新 密 码："));
    m_editXMM = makePasswordField(m_groupBox1, "Edit_XMM", twipsRect(1200, 855, 1995, 360));
    placeControl<QLabel>(m_groupBox1, "Label3", twipsRect(315, 1515, 780, 315), QStringLiteral("确认密码："));
    m_editQRM = makePasswordField(m_groupBox1, "Edit_QRM", twipsRect(1200, 1485, 1995, 360));

    auto* ok =
        placeControl<QPushButton>(this, "Button_OK", twipsRect(1530, 2280, 990, 345), QStringLiteral("确定(&O)"));
    m_buttonCancel =
        placeControl<QPushButton>(this, "Button_Cancel", twipsRect(2535, 2280, 990, 345), QStringLiteral("取消(&C)"));

    // The fields come last in the tab order, as the dialog has always had it.
    setTabOrder(ok, m_buttonCancel);
    setTabOrder(m_buttonCancel, m_editYMM);
    setTabOrder(m_editYMM, m_editXMM);
    setTabOrder(m_editXMM, m_editQRM);

    // A failing write is reported and the dialog stays open for another try or Cancel.
    connectTrapped(m_platform, this, ok, &QPushButton::clicked, [this] { Button_OK_Click(); });
    connectFatal(m_platform, this, m_buttonCancel, &QPushButton::clicked, [this] { Button_Cancel_Click(); });

    // A failure on load is reported; the dialog then opens with whatever was set before it.
    runTrapped(m_platform, this, [this] { load(); });
}

void FrmPass::load() {
    if (m_module.MustSetPassword) {
        m_firstRun = true;
        // RootSeq changes only once the root row holds the new value: should the write fail, the
        // password stored next must still carry the number the file keeps.
        const auto drawn = static_cast<qint16>(QRandomGenerator::global()->bounded(10001));
        m_module.VaultConnection.execute(Statements::setRootSeq(drawn));
        m_module.RootSeq = drawn;
        m_editYMM->setBackColor(BackColors::ReadOnly);
        m_editYMM->setEnabled(false);
        m_buttonCancel->setEnabled(false);
        m_groupBox1->setTitle(QStringLiteral("第一次必须设置密码"));
    } else {
        readRootSeq(m_module);
    }

    if (const std::optional<QString> stored = readStoredPassword(m_module, Statements::loginRowForChange())) {
        m_storedPass = *stored;
    } else if (m_firstRun) {
        // Without a login row no password can ever be stored; let the user leave rather than trap them.
        m_buttonCancel->setEnabled(true);
    }
}

void FrmPass::refuse(const QString& message) {
    m_platform.boxes.show(this, message, PromptTitle, BoxButtons::Ok, BoxIcon::Exclamation);
}

void FrmPass::Button_OK_Click() {
    const QString suffix = m_module.rootSeqSuffix();
    if (m_storedPass != m_editYMM->text() + suffix) {
        refuse(QStringLiteral("原密码不正确！"));
        return;
    }
    if (m_editXMM->text().isEmpty()) {
        refuse(QStringLiteral("新密码不能为空！"));
        return;
    }
    if (m_editQRM->text() != m_editXMM->text()) {
        refuse(QStringLiteral("两次新密码不一致！"));
        return;
    }
    const QString stored = EncodeSecret(m_editQRM->text() + suffix, Module::SecretKey);
    // Bound, not spliced: a stored form may hold a quote or U+0000.
    if (m_module.VaultConnection.isProtected()) {
        // The file's key follows the password: the stored form is written into the re-keyed copy,
        // so that no file ever has a key of one password and a login row of the other.
        QByteArray key;
        const QString newPassword = m_editQRM->text();
        runWithBusyCursor([&] { key = ProtectedVault::newKeyFor(newPassword); });
        VaultRekey::rekey(m_module.VaultConnection, key, Statements::setLoginPass(), {stored});
    } else {
        m_module.VaultConnection.execute(Statements::setLoginPass(), {stored});
    }
    // The vault has its password now: a later opening in this run is a change, not a first run,
    // and must not draw a new RootSeq under the stored password.
    m_module.MustSetPassword = false;
    m_closing = true;
    accept();
}

void FrmPass::Button_Cancel_Click() {
    m_closing = true;
    QDialog::reject();
}

// Esc closes nothing: only OK or Cancel may.
void FrmPass::reject() {}

void FrmPass::closeEvent(QCloseEvent* event) {
    if (m_closing) {
        QDialog::closeEvent(event);
    } else {
        event->ignore();
    }
}
