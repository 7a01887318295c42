#include "SessionLock.h"

#include "FrmPass.h"
#include "MainWindow.h"
#include "controls/CategoryTree.h"
#include "controls/CheckListBox.h"
#include "frmLogin.h"
#include "platform/ErrorReport.h"
#include "platform/Platform.h"
#include "vault/Module.h"

#include <QApplication>
#include <QDialog>
#include <QThread>
#include <QTimer>
#include <QTreeWidgetItem>
#include <utility>

SessionLock::SessionLock(Main& window, Module& module, Platform& platform, QString programFolder)
    : QObject(&window), m_window(window), m_module(module), m_platform(platform),
      m_programFolder(std::move(programFolder)) {}

void SessionLock::lock() {
    if (!m_armed || m_locked) {
        return;
    }
    m_locked = true;
    closeDialogs();
    m_window.hide();
    hideSecrets();
    settleLater(QThread::currentThread()->loopLevel());
}

// A timer, not a queued call: a dialog that will not close must not keep the processor busy.
void SessionLock::settleLater(int loopLevel) {
    QTimer::singleShot(std::chrono::milliseconds(10), this, [this, loopLevel] { settle(loopLevel); });
}

bool SessionLock::closeDialogs() {
    bool closed = false;
    while (QWidget* popup = QApplication::activePopupWidget()) {
        popup->close();
        closed = true;
    }
    // Innermost first, each with its answer "no": a question asked before a write says No, a dialog
    // that writes on OK writes nothing. done() and not reject(): some dialogs refuse Esc.
    for (int guard = 0; guard < 100; ++guard) {
        auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (modal == nullptr) {
            break;
        }
        modal->done(QDialog::Rejected);
        closed = true;
    }
    return closed;
}

void SessionLock::hideSecrets() {
    m_platform.clipboard.clearOwnText();
    // Whatever was being composed or changed is dropped without a question, as Exit drops it.
    EntryPane& pane = m_window.entryPane();
    pane.setAddingNew(false);
    pane.ClearEdlt();
    m_window.list()->clearItems();
}

void SessionLock::settle(int lastLoopLevel) {
    const int level = QThread::currentThread()->loopLevel();
    // A handler whose dialog was closed may have opened another one on its way out.
    if (closeDialogs() || level != lastLoopLevel) {
        settleLater(level);
        return;
    }
    runFatal(m_platform, nullptr, [this] { askForPassword(); });
}

void SessionLock::askForPassword() {
    // Handlers that ran while the dialogs wound down may have shown something again.
    hideSecrets();
    if (m_vault.close) {
        m_vault.close();
    }

    frmLogin login(m_module, m_platform, m_programFolder, &m_window);
    login.setVaultOpener(m_vault.reopen);
    if (login.exec() != QDialog::Accepted) {
        return; // the login has ended the program
    }
    // As at start-up: a vault without a master password gets one before anything else shows.
    if (m_module.MustSetPassword) {
        FrmPass password(m_module, m_platform, m_programFolder, &m_window);
        password.exec();
    }
    m_locked = false;
    m_window.show();
    m_window.activateWindow();
    if (const QTreeWidgetItem* node = m_window.tree()->selectedNode()) {
        m_window.entryPane().LoadEntryList(CategoryTree::nodeKey(node));
    }
}
