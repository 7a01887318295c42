#pragma once

#include "EntryPaneWidgets.h"

#include <QString>
#include <QStringList>
#include <QVariantList>
#include <optional>

class Module;
class QWidget;
struct Platform;

// The entry side of the main window: the list of a category's entries, the detail pane and the
// read-only / writable mode. It knows nothing of the commands behind its buttons (EntryCommands),
// which act on it through the members below.
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

    // Connects the pane's own controls (a click on the list, a copy out of the password field),
    // each under its error handling; the buttons belong to the commands.
    void connectHandlers();

    bool writeMode() const { return m_writeMode; }
    // Shows the mode on the buttons (New and Delete only while writable) and applies it to the pane.
    void setWriteMode(bool writable);
    bool addingNew() const { return m_addingNew; }
    // Only the flag: when the pane shows the change is the caller's order of calls.
    void setAddingNew(bool adding) { m_addingNew = adding; }

    void LoadEntryList(qint64 categoryKey);
    void ShowEntry();
    void ClearEdlt();
    void AllowEdit();

    const std::optional<ShownEntry>& shownEntry() const { return m_shown; }

private:
    Module& m_module;
    Platform& m_platform;
    EntryPaneWidgets m_w;
    QWidget* m_window;
    bool m_writeMode = false;
    bool m_addingNew = false;
    std::optional<ShownEntry> m_shown;
};
