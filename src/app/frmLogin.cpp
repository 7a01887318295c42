#include "frmLogin.h"

#include "platform/ErrorReport.h"
#include "vault/Module.h"
#include "vault/SecretCipher.h"
#include "vault/Statements.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

// The dialog was laid out in twips; 15 twips make a pixel at 96 dpi.
QRect twips(int left, int top, int width, int height) {
    return {left / 15, top / 15, width / 15, height / 15};
}

const QString WrongPassword = QStringLiteral("输入的密码有误,请重新再试！");

} // namespace

frmLogin::frmLogin(Module& module, Platform& platform, const QString& programFolder, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      m_module(module), m_platform(platform) {
    setObjectName(QStringLiteral("frmLogin"));
    setWindowTitle(QStringLiteral("登录"));
    setWindowIcon(QIcon(programFolder + QStringLiteral("/Icons/vaultry.png")));
    setFixedSize(3750 / 15, 1680 / 15);

    auto* userLabel = new QLabel(QStringLiteral("用户名称(&U):"), this);
    userLabel->setObjectName(QStringLiteral("lblLabels(0)"));
    userLabel->setGeometry(twips(105, 150, 1080, 270));
    m_txtUserName = new QLineEdit(QStringLiteral("admin"), this);
    m_txtUserName->setObjectName(QStringLiteral("txtUserName"));
    m_txtUserName->setGeometry(twips(1290, 120, 2325, 345));
    userLabel->setBuddy(m_txtUserName);

    auto* passwordLabel = new QLabel(QStringLiteral("密码(&P):"), this);
    passwordLabel->setObjectName(QStringLiteral("lblLabels(1)"));
    passwordLabel->setGeometry(twips(105, 540, 1080, 270));
    m_txtPassword = new QLineEdit(this);
    m_txtPassword->setObjectName(QStringLiteral("txtPassword"));
    m_txtPassword->setGeometry(twips(1290, 525, 2325, 345));
    m_txtPassword->setEchoMode(QLineEdit::Password);
    m_txtPassword->setAttribute(Qt::WA_InputMethodEnabled, false);
    passwordLabel->setBuddy(m_txtPassword);

    m_label1 = new QLabel(this);
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_label1->setGeometry(twips(1290, 870, 2325, 255));
    m_label1->setStyleSheet(QStringLiteral("color: #c00000;"));

    auto* ok = new QPushButton(QStringLiteral("确定(&O)"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setGeometry(twips(675, 1170, 1140, 390));
    ok->setDefault(true);
    ok->setAutoDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("取消(&C)"), this);
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    cancel->setGeometry(twips(2010, 1170, 1140, 390));
    cancel->setAutoDefault(false);

    setTabOrder(m_txtUserName, m_txtPassword);
    setTabOrder(m_txtPassword, ok);
    setTabOrder(ok, cancel);

    connect(ok, &QPushButton::clicked, this, &frmLogin::cmdOK_Click);
    connect(cancel, &QPushButton::clicked, this, &frmLogin::cmdCancel_Click);

    load();
}

void frmLogin::load() {
    // No trap of its own: a failure here reaches the start-up's trap, which reports it and ends the program.
    Recordset& result = m_module.freshRecordset();
    m_module.SqlText = Statements::rootCategory();
    result.open(m_module.SqlText, m_module.VaultConnection);
    if (result.recordCount() > 0) {
        m_module.RootSeq = result.int16(QStringLiteral("Seq"));
    }
    result.close();
}

void frmLogin::cmdOK_Click() {
    runFatal(m_platform, this, [this] {
        if (checkPassword()) {
            accept();
        }
    });
}

bool frmLogin::checkPassword() {
    const QString suffix = m_module.rootSeqSuffix();

    Recordset& result = m_module.freshRecordset();
    result.open(Statements::loginRow(), m_module.VaultConnection);
    QString expected;
    if (result.recordCount() > 0) {
        expected = result.value(QStringLiteral("Pass")).isNull()
                       ? suffix
                       : DecodeSecret(result.text(QStringLiteral("Pass")), Module::SecretKey);
    }
    result.close();

    // The count stays 64-bit: a vault of more than 32767 entries must not lock its owner out.
    result.open(Statements::allEntries(), m_module.VaultConnection);
    const qint64 entryCount = result.recordCount();
    result.close();

    if (expected == suffix && entryCount >= 1) {
        // A vault that holds entries but no master password was tampered with: admit nobody.
        m_label1->setText(WrongPassword);
        return false;
    }
    if (expected != m_txtPassword->text() + suffix) {
        m_label1->setText(WrongPassword);
        m_txtPassword->clear();
        m_txtPassword->setFocus();
        return false;
    }
    if (expected == suffix) {
        m_module.MustSetPassword = true;
    }
    return true;
}

void frmLogin::cmdCancel_Click() {
    m_platform.programEnd.endProgram(0);
    QDialog::reject();
}

// Esc and the close box (QDialog turns both into reject) leave the program, as Cancel does.
void frmLogin::reject() {
    cmdCancel_Click();
}
