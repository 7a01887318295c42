#pragma once

#include <QString>

class Module;
class QAction;
class QMenu;
class QWidget;
struct Platform;

// The 文件 menu's item that protects the data file with the master password, checked while the
// open file is protected.
class ProtectCommand {
public:
    // Adds the item to the end of menu.
    ProtectCommand(Module& module, Platform& platform, QWidget* window, const QString& programFolder, QMenu& menu);

    QAction* action() const { return m_action; }
    void Protect_Click();

private:
    void showState();

    Module& m_module;
    Platform& m_platform;
    QWidget* m_window;
    QString m_programFolder;
    QAction* m_action = nullptr;
};
