#include "ProtectCommand.h"

#include "FrmProtect.h"

#include "platform/ErrorReport.h"
#include "vault/Module.h"

#include <QAction>
#include <QMenu>

namespace {

const QString Explanation = QStringLiteral(
    "加密后，数据文件 DB.xml 和此后的自动备份只有用主密码才能打开：别人拷走数据文件或备份，也读不出其中的任何记录。\n\n"
    "请务必记住主密码！忘记了主密码，任何人（包括本程序的作者）都无法找回它，数据文件里的全部记录也就永远无法读出。\n\n"
    "加密之前程序会先备份一次数据文件；这份备份和以前的备份都没有加密。\n\n"
    "是否现在用主密码加密数据文件？");

} // namespace

ProtectCommand::ProtectCommand(Module& module, Platform& platform, QWidget* window, const QString& programFolder,
                               QMenu& menu)
    : m_module(module), m_platform(platform), m_window(window), m_programFolder(programFolder) {
    m_action = menu.addAction(QStringLiteral("用主密码加密数据文件(&K)"));
    m_action->setObjectName(QStringLiteral("Protect"));
    m_action->setCheckable(true);
    QObject::connect(&menu, &QMenu::aboutToShow, m_action, [this] { showState(); });
    connectTrapped(
        m_platform, m_window, m_action, &QAction::triggered, [this] { Protect_Click(); },
        [this](const VaultError&) { showState(); });
}

void ProtectCommand::showState() {
    m_action->setChecked(m_module.VaultConnection.isOpen() && m_module.VaultConnection.isProtected());
}

void ProtectCommand::Protect_Click() {
    const bool turnOn = !m_module.VaultConnection.isProtected();
    showState();
    if (turnOn && m_platform.boxes.show(m_window, Explanation, PromptTitle, BoxButtons::YesNo, BoxIcon::Question) !=
                      BoxAnswer::Yes) {
        return;
    }
    FrmProtect dialog(m_module, m_platform, m_programFolder, turnOn, m_window);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    showState();
    m_platform.boxes.show(m_window,
                          turnOn ? QStringLiteral("数据文件已经用主密码加密！")
                                 : QStringLiteral("数据文件已经取消加密，恢复为程序原来的格式！"),
                          PromptTitle, BoxButtons::Ok, BoxIcon::Information);
}
