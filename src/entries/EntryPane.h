#pragma once

#include "EntryPaneWidgets.h"

#include <QString>

class Module;
class QWidget;
struct Platform;
enum class BoxIcon;

// The entry side of the main window: the list of a category's entries, the detail pane, the
// read-only / writable mode and the entry commands.
class EntryPane {
public:
    EntryPane(Module& module, Platform& platform, const EntryPaneWidgets& widgets, QWidget* window);

    // Connects the controls' signals to the handlers below, each run under its error handling.
    void connectHandlers();

    bool WriteMode = false;
    bool AddingNew = false;

    void LoadEntryList(const QString& categoryKey);
    void ShowEntry();
    void ClearEdlt();
    void AllowEdit();

    void Button_Read();
    void Button_New();
    void Button_Save();
    void Button_Cancel();
    void Button_Del();
    void Button_Copy1();
    void Button_Copy2();
    void Button_Follow();
    void Button_View();

private:
    // The "提示！" box with one OK button.
    void tell(const QString& text, BoxIcon icon);
    // Save's work after its question was answered Yes; errors reach Save's trap.
    void writeEntry(qint64 entryKey);
    void copyToClipboard(const QString& text, const QString& message);

    Module& m_module;
    Platform& m_platform;
    EntryPaneWidgets m_w;
    QWidget* m_window;
};
