#pragma once

#include "EntryPaneWidgets.h"

#include <QString>

class EntryPane;
class Module;
class QWidget;
struct Platform;
enum class BoxIcon;

// The commands of the entry side: the mode switch, new, save, cancel, delete, and the small field
// buttons. They act on the pane's controls and its mode; the pane's buttons run them, each under
// the error handling connectHandlers gives it. None catches an error itself.
class EntryCommands {
public:
    EntryCommands(Module& module, Platform& platform, EntryPane& pane, const EntryPaneWidgets& widgets,
                  QWidget* window);

    // Connects the pane's buttons to the commands below: Save reports an unexpected error and leaves
    // the window as it was, every other command ends the program on one.
    void connectHandlers();

    void Read();
    void New();
    void Save();
    void Cancel();
    void Del();
    void CopyName();
    void CopyPass();
    void Follow();
    void View();

private:
    // The "提示！" box with one OK button.
    void tell(const QString& text, BoxIcon icon);
    // Save's work after its question was answered Yes.
    void writeEntry(qint64 entryKey);
    void copyToClipboard(const QString& text, const QString& message);

    Module& m_module;
    Platform& m_platform;
    EntryPane& m_pane;
    EntryPaneWidgets m_w;
    QWidget* m_window;
};
