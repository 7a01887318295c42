#include "EntryCommands.h"

#include "EntryPane.h"
#include "controls/CategoryTree.h"
#include "controls/CheckListBox.h"
#include "controls/FlatEdit.h"
#include "controls/FlatMemo.h"
#include "controls/SkinComboBox.h"
#include "platform/Platform.h"
#include "vault/Module.h"
#include "vault/SecretCipher.h"
#include "vault/Statements.h"
#include "vault/VaultError.h"

EntryCommands::EntryCommands(Module& module, Platform& platform, EntryPane& pane, const EntryPaneWidgets& widgets,
                             QWidget* window)
    : m_module(module), m_platform(platform), m_pane(pane), m_w(widgets), m_window(window) {}

void EntryCommands::tell(const QString& text, BoxIcon icon) {
    m_platform.boxes.show(m_window, text, QStringLiteral("提示！"), BoxButtons::Ok, icon);
}

void EntryCommands::New() {
    if (!m_pane.WriteMode) {
        tell(QStringLiteral("只读模式不能新建！"), BoxIcon::Exclamation);
        return;
    }
    m_pane.AddingNew = true;
    m_pane.AllowEdit();
    m_pane.ClearEdlt();
}

void EntryCommands::Save() {
    if (m_w.tree->selectedNode() == nullptr) {
        tell(QStringLiteral("请选择一个分类！"), BoxIcon::Exclamation);
        return;
    }
    // Entry keys are 64-bit: the row of an entry whose ID went past 32767 must still be found.
    qint64 entryKey = 0;
    if (!m_pane.AddingNew) {
        const int index = m_w.list->selectedIndex();
        if (index == -1) {
            tell(QStringLiteral("请选择一个需要编辑的内容！"), BoxIcon::Information);
            return;
        }
        entryKey = m_w.list->itemData(index);
    }
    if (m_w.editCaption->text().isEmpty()) {
        tell(QStringLiteral("请输入标题！"), BoxIcon::Information);
        return;
    }
    if (m_w.editPass->text().isEmpty()) {
        tell(QStringLiteral("请输入密码！"), BoxIcon::Information);
        return;
    }
    const BoxAnswer answer = m_platform.boxes.show(m_window, QStringLiteral("是否真的要保存信息？"),
                                                   QStringLiteral("提示！"), BoxButtons::YesNo, BoxIcon::Question);
    if (answer != BoxAnswer::Yes) {
        return;
    }
    writeEntry(entryKey);
}

void EntryCommands::writeEntry(qint64 entryKey) {
    // The selected node is read again, as the category to reload; the question box cannot change it.
    const qint64 categoryKey = CategoryTree::nodeKey(m_w.tree->selectedNode());
    // Encoded before the row is touched: a failure leaves nothing half-assigned.
    const QString name = EncodeSecret(m_w.editName->text(), Module::SecretKey);
    const QString pass = EncodeSecret(m_w.editPass->text(), Module::SecretKey);
    const QString remark = EncodeSecret(m_w.editRemark->text(), Module::SecretKey);

    m_module.SqlText = Statements::entryForSave(entryKey);
    const auto rs = m_module.freshRecordset();
    rs->open(m_module.SqlText, m_module.VaultConnection);
    if (m_pane.AddingNew) {
        rs->addNew();
        rs->setValue(QStringLiteral("Type"), categoryKey);
    } else if (rs->atEnd()) {
        // Deleted since the list was loaded (by another copy of the program, say): nothing to change.
        throw VaultError(VaultError::NoCurrentRow, QStringLiteral("要保存的信息已经不在数据文件中，当前没有记录。"));
    }
    rs->setValue(QStringLiteral("Caption"), m_w.editCaption->text());
    rs->setValue(QStringLiteral("Name"), name);
    rs->setValue(QStringLiteral("Pass"), pass);
    rs->setValue(QStringLiteral("Www"), m_w.editWww->text());
    rs->setValue(QStringLiteral("Remark"), remark);
    rs->setValue(QStringLiteral("Sort"), m_w.comboType->currentText());
    rs->setValue(QStringLiteral("Seq"), QVariant(1));
    rs->update();
    rs->close();

    m_pane.AddingNew = false;
    tell(QStringLiteral("保存信息完成！"), BoxIcon::Information);
    // The list still takes its key as the statement's text.
    m_pane.LoadEntryList(categoryKey);
}

void EntryCommands::Cancel() {
    m_pane.AddingNew = false;
    m_pane.ShowEntry();
    m_pane.AllowEdit();
}

void EntryCommands::Del() {
    if (!m_pane.WriteMode) {
        tell(QStringLiteral("只读模式不能删除！"), BoxIcon::Exclamation);
        return;
    }
    if (m_w.list->selectedIndex() == -1) {
        tell(QStringLiteral("没有勾选要删除的信息！"), BoxIcon::Exclamation);
        return;
    }
    // Last item first, so that removing an item does not shift the ones still to be visited.
    for (int k = m_w.list->itemCount() - 1; k >= 0; --k) {
        if (m_w.list->isTicked(k)) {
            m_module.VaultConnection.execute(Statements::deleteEntry(m_w.list->itemData(k)));
            m_w.list->removeItemAt(k);
        }
    }
    m_pane.ClearEdlt();
}

void EntryCommands::copyToClipboard(const QString& text, const QString& message) {
    m_platform.clipboard.clear();
    m_platform.clipboard.setSecretText(text);
    tell(message, BoxIcon::Information);
}

void EntryCommands::CopyName() {
    copyToClipboard(m_w.editName->text(), QStringLiteral("已经复制了帐户名称！"));
}

void EntryCommands::CopyPass() {
    copyToClipboard(m_w.editPass->text(), QStringLiteral("已经复制了密码！"));
}

void EntryCommands::Follow() {
    const QString address = m_w.editWww->text();
    if (address.isEmpty()) {
        tell(QStringLiteral("没有需要打开网址！"), BoxIcon::Information);
        return;
    }
    // Handed over exactly as typed; whatever the desktop does with it, the program says nothing.
    m_platform.shell.open(address);
}

void EntryCommands::View() {
    m_w.editPass->setPasswordChar(m_w.editPass->passwordChar() == QStringLiteral("*") ? QString()
                                                                                      : QStringLiteral("*"));
}
