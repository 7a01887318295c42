#include "frmType.h"

#include "controls/FlatEdit.h"
#include "controls/Fonts.h"
#include "controls/Placement.h"
#include "controls/WindowFrame.h"
#include "platform/ErrorReport.h"
#include "platform/Platform.h"
#include "vault/Module.h"
#include "vault/RootCategory.h"
#include "vault/Statements.h"
#include "vault/VaultError.h"

#include <QLabel>
#include <QPushButton>
#include <utility>

frmType::frmType(Module& module, Platform& platform, std::function<void()> rebuildTree, const QString& programFolder,
                 QWidget* owner)
    : QDialog(owner), m_module(module), m_platform(platform), m_rebuildTree(std::move(rebuildTree)) {
    setUpFixedDialog(*this, "frmType", QStringLiteral("分类"), programFolder, {286, 55});
    setFont(songTiFont(9));
    buildControls();
}

void frmType::buildControls() {
    placeControl<QLabel>(this, "Label1", {12, 10, 62, 24}, QStringLiteral("分类名称："));
    m_typeName = placeControl<FlatEdit>(this, "TypeName", {70, 12, 139, 22});
    m_ok = placeControl<QPushButton>(this, "OK", {213, 10, 62, 26}, QStringLiteral("确定"));
    m_ok->setDefault(true);
    // A failure of the database engine (a read-only or locked file, a full disk) leaves nothing this
    // dialog could do; other errors leave it open for another try.
    connectTrapped(
        m_platform, this, m_ok, &QPushButton::clicked, [this] { OK_Click(); },
        [this](const VaultError& error) {
            if (error.number() == VaultError::EngineFailure) {
                m_platform.programEnd.endProgram(1);
            }
        });

    m_label2 = placeControl<QLabel>(this, "Label2", {70, 39, 99, 13});
    // A style sheet of its own, so the owner's skin does not turn the message line black.
    m_label2->setStyleSheet(QStringLiteral("color: #c00000;"));
}

bool frmType::Form_Load() {
    m_module.SqlText = Statements::category(ID);
    const auto rs = m_module.freshRecordset();
    rs->open(m_module.SqlText, m_module.VaultConnection);
    const bool exists = rs->recordCount() > 0;
    if (exists && LX != NewCategory) {
        m_typeName->setText(rs->value(QStringLiteral("Name")).toString());
    }
    rs->close();
    if (!exists) {
        categoryGone();
        return false;
    }
    return true;
}

void frmType::OK_Click() {
    if (m_typeName->text().isEmpty()) {
        m_label2->setText(QStringLiteral("请输入分类名称！"));
        return;
    }
    m_label2->clear();
    writeCategory();
}

void frmType::writeCategory() {
    m_module.SqlText = Statements::category(ID);
    const auto rs = m_module.freshRecordset();
    rs->open(m_module.SqlText, m_module.VaultConnection);
    // Another copy of the program may have deleted the category (or, for a new one, its parent)
    // since the tree was built: writing now would lose the name or leave an unreachable row.
    if (rs->recordCount() == 0) {
        rs->close();
        categoryGone();
        return;
    }
    bool isRoot = false;
    if (LX == NewCategory) {
        rs->addNew();
        rs->setValue(QStringLiteral("PID"), ID);
    } else {
        const QVariant pid = rs->value(QStringLiteral("PID"));
        isRoot = ID == RootCategory::Key || (!pid.isNull() && pid.toLongLong() == RootCategory::Parent);
    }
    rs->setValue(QStringLiteral("Name"), m_typeName->text());
    // The root row's Seq is RootSeq, which the stored master password carries: overwriting it
    // would lock the user out. Every other category gets 1, so siblings sort by creation.
    if (!isRoot) {
        rs->setValue(QStringLiteral("Seq"), 1);
    }
    rs->update();
    rs->close();
    accept();
    m_rebuildTree();
}

void frmType::categoryGone() {
    QWidget* parent = isVisible() ? static_cast<QWidget*>(this) : parentWidget();
    m_platform.boxes.show(parent, QStringLiteral("选中的分类已不存在！"), PromptTitle, BoxButtons::Ok,
                          BoxIcon::Exclamation);
    reject();
    // The tree still shows the vanished category; bring it in line with the file.
    m_rebuildTree();
}
