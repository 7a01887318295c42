#include "EntryCommands.h"

#include "EntryPane.h"
#include "controls/CategoryTree.h"
#include "controls/CheckListBox.h"
#include "controls/FlatEdit.h"
#include "controls/FlatMemo.h"
#include "controls/SkinComboBox.h"
#include "platform/ErrorReport.h"
#include "platform/Platform.h"
#include "vault/Module.h"
#include "vault/SecretCipher.h"
#include "vault/Statements.h"
#include "vault/VaultError.h"

#include <QPushButton>
#include <optional>
#include <vector>

EntryCommands::EntryCommands(Module& module, Platform& platform, EntryPane& pane, const EntryPaneWidgets& widgets,
                             QWidget* window)
    : m_module(module), m_platform(platform), m_pane(pane), m_w(widgets), m_window(window) {}

void EntryCommands::connectHandlers() {
    const auto fatal = [this](QPushButton* button, void (EntryCommands::*command)()) {
        connectFatal(m_platform, m_window, button, &QPushButton::clicked, [this, command] { (this->*command)(); });
    };
    fatal(m_w.buttonRead, &EntryCommands::Read);
    fatal(m_w.buttonNew, &EntryCommands::New);
    fatal(m_w.buttonCancel, &EntryCommands::Cancel);
    fatal(m_w.buttonDel, &EntryCommands::Del);
    fatal(m_w.buttonCopy1, &EntryCommands::CopyName);
    fatal(m_w.buttonCopy2, &EntryCommands::CopyPass);
    fatal(m_w.buttonFollow, &EntryCommands::Follow);
    fatal(m_w.buttonView, &EntryCommands::View);
    connectTrapped(m_platform, m_window, m_w.buttonSave, &QPushButton::clicked, [this] { Save(); });
}

void EntryCommands::tell(const QString& text, BoxIcon icon) {
    m_platform.boxes.show(m_window, text, PromptTitle, BoxButtons::Ok, icon);
}

// Neither reloads nor empties the pane, and a new entry being composed stays so.
void EntryCommands::Read() {
    m_pane.setWriteMode(!m_pane.writeMode());
}

void EntryCommands::New() {
    if (!m_pane.writeMode()) {
        tell(QStringLiteral("只读模式不能新建！"), BoxIcon::Exclamation);
        return;
    }
    m_pane.setAddingNew(true);
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
    if (!m_pane.addingNew()) {
        const int index = m_w.list->selectedIndex();
        if (index == -1) {
            tell(QStringLiteral("请选择一个需要编辑的内容！"), BoxIcon::Information);
            return;
        }
        entryKey = m_w.list->itemData(index);
        // The fields are written onto the row they were filled from, never onto another one the
        // highlight has come to rest on while the pane showed something else.
        const auto& shown = m_pane.shownEntry();
        if (!shown || shown->key != entryKey) {
            tell(QStringLiteral("请选择一个需要编辑的内容！"), BoxIcon::Information);
            return;
        }
    }
    if (m_w.editCaption->text().isEmpty()) {
        tell(QStringLiteral("请输入标题！"), BoxIcon::Information);
        return;
    }
    if (m_w.editPass->text().isEmpty()) {
        tell(QStringLiteral("请输入密码！"), BoxIcon::Information);
        return;
    }
    const BoxAnswer answer = m_platform.boxes.show(m_window, QStringLiteral("是否真的要保存信息？"), PromptTitle,
                                                   BoxButtons::YesNo, BoxIcon::Question);
    if (answer != BoxAnswer::Yes) {
        return;
    }
    writeEntry(entryKey);
}

namespace {

// The same value as the file gives it: a text is not a number, a Null is not an empty text.
bool sameStoredValue(const QVariant& a, const QVariant& b) {
    return a.typeId() == b.typeId() && a == b;
}

bool stillAsShown(const Recordset& rs, const EntryPane::ShownEntry& shown) {
    if (rs.columns() != shown.columns) {
        return false;
    }
    for (qsizetype c = 0; c < shown.columns.size(); ++c) {
        if (!sameStoredValue(rs.value(shown.columns.at(c)), shown.stored.at(c))) {
            return false;
        }
    }
    return true;
}

} // namespace

void EntryCommands::writeEntry(qint64 entryKey) {
    // The selected node is read again, as the category to reload; the question box cannot change it.
    const qint64 categoryKey = CategoryTree::nodeKey(m_w.tree->selectedNode());
    const bool adding = m_pane.addingNew();
    const std::optional<EntryPane::ShownEntry> shown = adding ? std::nullopt : m_pane.shownEntry();

    // Only what the user changed is encoded and written: a field left alone keeps its stored form,
    // also one that could not be shown (a Null, or a form no encoding of ours produces).
    struct Assignment {
        QString column;
        QVariant value;
    };
    std::vector<Assignment> assignments;
    const auto assign = [&](const QString& column, const QString& text, const QString& shownText, bool secret) {
        if (shown && text == shownText) {
            return;
        }
        // Encoded before the row is touched: a failure leaves nothing half-assigned.
        assignments.push_back({column, secret ? EncodeSecret(text, Module::SecretKey) : text});
    };
    assign(QStringLiteral("Caption"), m_w.editCaption->text(), shown ? shown->caption : QString(), false);
    assign(QStringLiteral("Name"), m_w.editName->text(), shown ? shown->name : QString(), true);
    assign(QStringLiteral("Pass"), m_w.editPass->text(), shown ? shown->pass : QString(), true);
    assign(QStringLiteral("Www"), m_w.editWww->text(), shown ? shown->www : QString(), false);
    assign(QStringLiteral("Remark"), m_w.editRemark->text(), shown ? shown->remark : QString(), true);
    assign(QStringLiteral("Sort"), m_w.comboType->currentText(), shown ? shown->kind : QString(), false);

    enum class Outcome { Written, CategoryGone, ChangedElsewhere };
    Outcome outcome = Outcome::Written;
    {
        // The checks and the write are one step: another program that writes the file between
        // them would otherwise be overwritten, or leave the entry filed under nothing.
        WriteTransaction transaction(m_module.VaultConnection);
        if (adding && m_module.countRows(Statements::category(categoryKey)) == 0) {
            outcome = Outcome::CategoryGone;
        } else {
            m_module.SqlText = Statements::entryForSave(entryKey);
            const auto rs = m_module.freshRecordset();
            rs->open(m_module.SqlText, m_module.VaultConnection);
            if (adding) {
                rs->addNew();
                rs->setValue(QStringLiteral("Type"), categoryKey);
            } else if (rs->atEnd()) {
                // Deleted since the list was loaded (by another copy of the program, say): nothing to change.
                throw VaultError(VaultError::NoCurrentRow,
                                 QStringLiteral("要保存的信息已经不在数据文件中，当前没有记录。"));
            } else if (!stillAsShown(*rs, *shown)) {
                outcome = Outcome::ChangedElsewhere;
            }
            if (outcome == Outcome::Written) {
                for (const Assignment& assignment : assignments) {
                    rs->setValue(assignment.column, assignment.value);
                }
                rs->setValue(QStringLiteral("Seq"), QVariant(1));
                rs->update();
            }
            rs->close();
            if (outcome == Outcome::Written) {
                transaction.commit();
            }
        }
    }

    switch (outcome) {
    case Outcome::CategoryGone:
        // The pane keeps the new entry, to be saved once a category that exists is chosen.
        tell(QStringLiteral("选中的分类已被删除，请选择其他分类后再保存！"), BoxIcon::Exclamation);
        return;
    case Outcome::ChangedElsewhere:
        tell(QStringLiteral("这条信息已在别处被修改，本次修改没有保存，现在显示的是它保存的内容！"),
             BoxIcon::Exclamation);
        m_pane.ShowEntry();
        return;
    case Outcome::Written:
        break;
    }
    m_pane.setAddingNew(false);
    tell(QStringLiteral("保存信息完成！"), BoxIcon::Information);
    m_pane.LoadEntryList(categoryKey);
}

void EntryCommands::Cancel() {
    m_pane.setAddingNew(false);
    m_pane.ShowEntry();
    m_pane.AllowEdit();
}

void EntryCommands::Del() {
    if (!m_pane.writeMode()) {
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
    // The emptied pane shows no entry, so none stays highlighted for a save to write onto.
    m_w.list->clearSelection();
    m_w.list->setCurrentItem(nullptr);
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
