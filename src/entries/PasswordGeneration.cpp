#include "PasswordGeneration.h"

#include "controls/FlatEdit.h"
#include "frmGenerate.h"
#include "platform/ErrorReport.h"

#include <QAction>
#include <QMenu>
#include <memory>

PasswordGeneration::PasswordGeneration(Platform& platform, FlatEdit& field, QWidget* window,
                                       const QString& programFolder, std::function<bool()> writable)
    : QObject(&field), m_platform(platform), m_field(field), m_window(window), m_programFolder(programFolder),
      m_writable(std::move(writable)) {
    m_action = new QAction(QStringLiteral("生成密码…"), &field);
    m_action->setObjectName(QStringLiteral("GeneratePassword"));
    m_action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
    // Ctrl+G belongs to the field alone: elsewhere in the window it means nothing.
    m_action->setShortcutContext(Qt::WidgetShortcut);
    field.addAction(m_action);
    field.setContextMenuPolicy(Qt::CustomContextMenu);
}

void PasswordGeneration::connectHandlers() {
    connectFatal(m_platform, m_window, m_action, &QAction::triggered, [this] { Generate(); });
    connect(&m_field, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) { showContextMenu(at); });
}

// The field's own menu (undo, cut, paste, ...), with the generator below it while writable.
void PasswordGeneration::showContextMenu(const QPoint& at) {
    const std::unique_ptr<QMenu> menu(m_field.createStandardContextMenu());
    if (m_writable()) {
        menu->addSeparator();
        menu->addAction(m_action);
    }
    menu->exec(m_field.mapToGlobal(at));
}

void PasswordGeneration::Generate() {
    if (!m_writable()) {
        return;
    }
    frmGenerate dialog(m_programFolder, m_window);
    if (dialog.exec() == QDialog::Accepted) {
        m_field.setText(dialog.password());
        m_field.setFocus();
    }
}
