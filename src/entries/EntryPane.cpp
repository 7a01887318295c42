#include "EntryPane.h"

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

namespace {

const QString ReadOnlyCaption = QStringLiteral("只读(&R)");
const QString WritableCaption = QStringLiteral("可写(&W)");
// The kinds offered for an entry, in the order the box lists them.
const QStringList Kinds{QStringLiteral("普通账号"), QStringLiteral("银行账号"), QStringLiteral("网络账号")};

// A kind another program or an old file stored is shown after the offered ones, so the user sees
// it and a save that leaves the box alone keeps it; it is never offered for another entry.
void dropStoredKind(SkinComboBox& box) {
    while (box.count() > Kinds.size()) {
        box.removeItem(box.count() - 1);
    }
}

void showKind(SkinComboBox& box, const QString& kind) {
    dropStoredKind(box);
    const int index = box.findText(kind, Qt::MatchExactly);
    if (index >= 0 || kind.isEmpty()) {
        box.setText(kind);
        return;
    }
    box.addItem(kind);
    box.setCurrentIndex(box.count() - 1);
}

} // namespace

EntryPane::EntryPane(Module& module, Platform& platform, const EntryPaneWidgets& widgets, QWidget* window)
    : m_module(module), m_platform(platform), m_w(widgets), m_window(window) {}

void EntryPane::connectHandlers() {
    connectFatal(m_platform, m_window, m_w.list, &CheckListBox::clicked, [this] { ShowEntry(); });
    // A password the user copies out of the shown field goes where the copy button puts it: marked
    // as a secret, and taken off again after a while.
    m_w.editPass->setHoldsSecret(true);
    connectFatal(m_platform, m_window, m_w.editPass, &FlatEdit::secretCopied, [this](const QString& text) {
        m_platform.clipboard.clear();
        m_platform.clipboard.setSecretText(text);
    });
}

void EntryPane::LoadEntryList(qint64 categoryKey) {
    m_w.list->clearItems();
    // AllowEdit still sees the pending new entry here: its buttons stay as they were until the
    // next AllowEdit, as users of the program know it.
    AllowEdit();
    ClearEdlt();
    m_addingNew = false;

    const auto rs = m_module.freshRecordset();
    rs->open(Statements::entriesOfCategory(categoryKey), m_module.VaultConnection);
    const qint64 rows = rs->recordCount();
    for (qint64 i = 1; i <= rows; ++i) {
        // A Null title (a file another program wrote) lists as an empty one; choosing the entry says more.
        m_w.list->addItemWithData(rs->value(QStringLiteral("Caption")).toString(), rs->integer(QStringLiteral("ID")));
        rs->moveNext();
    }
    rs->close();
}

void EntryPane::ShowEntry() {
    const int index = m_w.list->selectedIndex();
    if (index == -1) {
        return;
    }
    m_addingNew = false;

    // A stored secret that no encoding could have produced, or a Null that another program wrote
    // (an imported or damaged file), is reported once, and its field stays empty; the rest of the
    // entry is shown, so the entry can still be chosen, put right or deleted instead of ending the
    // program each time it is clicked.
    std::optional<VaultError> damaged;
    const auto rs = m_module.freshRecordset();
    const auto field = [&rs, &damaged](const QString& column, bool secret) -> QString {
        try {
            const QString stored = rs->text(column);
            return secret ? DecodeSecret(stored, Module::SecretKey) : stored;
        } catch (const VaultError& error) {
            if (!damaged) {
                damaged = error;
            }
            return {};
        }
    };

    const qint64 key = m_w.list->itemData(index);
    rs->open(Statements::entry(key), m_module.VaultConnection);
    const qint64 rows = rs->recordCount();
    for (qint64 i = 1; i <= rows; ++i) {
        m_w.editCaption->setText(field(QStringLiteral("Caption"), false));
        m_w.editName->setText(field(QStringLiteral("Name"), true));
        m_w.editPass->setText(field(QStringLiteral("Pass"), true));
        m_w.editWww->setText(field(QStringLiteral("Www"), false));
        m_w.editRemark->setText(field(QStringLiteral("Remark"), true));
        showKind(*m_w.comboType, field(QStringLiteral("Sort"), false));

        ShownEntry shown{key,
                         rs->columns(),
                         {},
                         m_w.editCaption->text(),
                         m_w.editName->text(),
                         m_w.editPass->text(),
                         m_w.editWww->text(),
                         m_w.editRemark->text(),
                         m_w.comboType->currentText()};
        for (const QString& column : shown.columns) {
            shown.stored.append(rs->value(column));
        }
        m_shown = std::move(shown);
        rs->moveNext();
    }
    rs->close();

    AllowEdit();
    if (damaged) {
        reportError(m_platform, m_window, *damaged);
    }
}

void EntryPane::ClearEdlt() {
    m_w.editCaption->setText(QString());
    m_w.editName->setText(QString());
    m_w.editPass->setText(QString());
    m_w.editWww->setText(QString());
    m_w.editRemark->setText(QString());
    m_shown.reset();
    dropStoredKind(*m_w.comboType);
    if (m_w.comboType->count() >= 1) {
        m_w.comboType->setCurrentIndex(0);
    }
}

void EntryPane::AllowEdit() {
    const bool writable = m_writeMode;
    const QColor& back = writable ? BackColors::Writable : BackColors::ReadOnly;

    m_w.editCaption->setEnabled(writable);
    m_w.editName->setEnabled(writable);
    m_w.editPass->setEnabled(writable);
    m_w.editWww->setEnabled(writable);
    m_w.editRemark->setEnabled(writable);
    m_w.comboType->setEnabled(writable);

    m_w.editCaption->setBackColor(back);
    m_w.editName->setBackColor(back);
    m_w.editPass->setBackColor(back);
    m_w.editWww->setBackColor(back);
    m_w.editRemark->setBackColor(back);
    m_w.comboType->setBackColor(back);

    const bool somethingToSave = writable && (m_w.list->selectedIndex() != -1 || m_addingNew);
    m_w.buttonSave->setEnabled(somethingToSave);
    m_w.buttonCancel->setEnabled(somethingToSave);

    // The kind shown survives the reload, a stored one outside the offered kinds included.
    const QString kind = m_w.comboType->currentText();
    const bool storedKindShown = m_w.comboType->currentIndex() >= Kinds.size();
    m_w.comboType->clear();
    m_w.comboType->addItems(Kinds);
    if (storedKindShown) {
        showKind(*m_w.comboType, kind);
    } else {
        m_w.comboType->setText(kind);
    }
}

void EntryPane::setWriteMode(bool writable) {
    m_writeMode = writable;
    m_w.buttonRead->setText(writable ? WritableCaption : ReadOnlyCaption);
    m_w.buttonNew->setVisible(writable);
    m_w.buttonDel->setVisible(writable);
    AllowEdit();
}
