#pragma once

#include "EntryCommands.h"
#include "EntryPaneWidgets.h"

#include <QString>
#include <QStringList>
#include <QVariantList>
#include <optional>

class Module;
class QWidget;
struct Platform;

// The entry side of the main window: the list of a category's entries, the detail pane and the
// read-only / writable mode. The entry commands (EntryCommands) run behind its buttons.
class EntryPane {
public:
    // The entry the pane was last filled from: its row as the file held it, and the text each
    // field showed. A save writes onto that row only, only while the file still holds it so, and
    // only the fields whose text the user changed.
    struct ShownEntry {
        qint64 key = 0;
        QStringList columns;
        QVariantList stored;
        QString caption, name, pass, www, remark, kind;
    };

    EntryPane(Module& module, Platform& platform, const EntryPaneWidgets& widgets, QWidget* window);

    // Connects the controls' signals to the handlers below, each run under its error handling.
    void connectHandlers();

    bool WriteMode = false;
    bool AddingNew = false;

    void LoadEntryList(qint64 categoryKey);
    void ShowEntry();
    void ClearEdlt();
    void AllowEdit();

    const std::optional<ShownEntry>& shownEntry() const { return m_shown; }

    void Button_Read();
    void Button_New() { m_commands.New(); }
    void Button_Save() { m_commands.Save(); }
    void Button_Cancel() { m_commands.Cancel(); }
    void Button_Del() { m_commands.Del(); }
    void Button_Copy1() { m_commands.CopyName(); }
    void Button_Copy2() { m_commands.CopyPass(); }
    void Button_Follow() { m_commands.Follow(); }
    void Button_View() { m_commands.View(); }

private:
    Module& m_module;
    Platform& m_platform;
    EntryPaneWidgets m_w;
    QWidget* m_window;
    EntryCommands m_commands;
    std::optional<ShownEntry> m_shown;
};
